#include "tests/support/fake_transport.h"

namespace tarnel::support {

void FakeListener::setDelegate(XPCListenerDelegate* delegate) {
  journal_.record(Source::listener, "listener setDelegate");
  delegate_ = delegate;
}

void FakeListener::resume() { journal_.record(Source::listener, "listener resume"); }

void FakeConnection::setExportedInterface(std::shared_ptr<const XPCInterface> interface) {
  journal_.record(Source::connection, "connection setExportedInterface");
  exportedInterface = std::move(interface);
}

void FakeConnection::setExportedObject(ExportedObject* object) {
  journal_.record(Source::connection, "connection setExportedObject");
  exportedObject = object;
}

void FakeConnection::resume() {
  journal_.record(Source::connection, "connection resume");
  resumed = true;
}

void FakeConnection::invalidate() {
  journal_.record(Source::connection, "connection invalidate");
  invalidated = true;
}

std::expected<std::shared_ptr<XPCListener>, PlatformError> FakeTransport::listenerForMachService(
    const std::string& name) {
  journal_.record(Source::transport, "listenerForMachService " + name);
  if (listenerError) return std::unexpected(*listenerError);
  lastListener = std::make_shared<FakeListener>(journal_, name);
  return lastListener;
}

std::shared_ptr<const XPCInterface> FakeTransport::interfaceWithProtocol(
    const RemoteProtocol& protocol) {
  journal_.record(Source::transport, "interfaceWithProtocol " + protocol.name);
  return std::make_shared<FakeInterface>(protocol);
}

void FakeTransport::runMainLoop() { journal_.record(Source::transport, "runMainLoop"); }

}  // namespace tarnel::support
