#include "tests/support/fake_transport.h"

namespace tarnel::testing {

void FakeListener::setDelegate(XPCListenerDelegate* delegate) {
  journal_.record("listener setDelegate");
  delegate_ = delegate;
}

void FakeListener::resume() { journal_.record("listener resume"); }

void FakeConnection::setExportedInterface(std::shared_ptr<const XPCInterface> interface) {
  journal_.record("connection setExportedInterface");
  exportedInterface = std::move(interface);
}

void FakeConnection::setExportedObject(ExportedObject* object) {
  journal_.record("connection setExportedObject");
  exportedObject = object;
}

void FakeConnection::resume() {
  journal_.record("connection resume");
  resumed = true;
}

void FakeConnection::invalidate() {
  journal_.record("connection invalidate");
  invalidated = true;
}

std::expected<std::shared_ptr<XPCListener>, PlatformError> FakeTransport::listenerForMachService(
    const std::string& name) {
  journal_.record("listenerForMachService " + name);
  if (listenerError) return std::unexpected(*listenerError);
  lastListener = std::make_shared<FakeListener>(journal_, name);
  return lastListener;
}

std::shared_ptr<const XPCInterface> FakeTransport::interfaceWithProtocol(
    const RemoteProtocol& protocol) {
  journal_.record("interfaceWithProtocol " + protocol.name);
  return std::make_shared<FakeInterface>(protocol);
}

void FakeTransport::runMainLoop() { journal_.record("runMainLoop"); }

}  // namespace tarnel::testing
