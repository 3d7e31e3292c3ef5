// A transport with no sockets: listeners and connections that record what is done to them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/transport.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakeListener : public XPCListener {
 public:
  FakeListener(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}
  std::optional<ListenerEndpoint> endpointToGive;
  XPCListenerDelegate* delegate() const { return delegate_; }
  const std::string& name() const { return name_; }

  void setDelegate(XPCListenerDelegate* delegate) override;
  void resume() override;
  std::optional<ListenerEndpoint> endpoint() const override { return endpointToGive; }

 private:
  Journal& journal_;
  std::string name_;
  XPCListenerDelegate* delegate_ = nullptr;
};

class FakeConnection : public XPCConnection {
 public:
  explicit FakeConnection(Journal& journal) : journal_(journal) {}
  std::optional<Bytes> tokenToGive = Bytes(32, 0);
  std::shared_ptr<const XPCInterface> exportedInterface;
  ExportedObject* exportedObject = nullptr;
  bool resumed = false;
  bool invalidated = false;

  void setExportedInterface(std::shared_ptr<const XPCInterface> interface) override;
  void setExportedObject(ExportedObject* object) override;
  void resume() override;
  std::optional<Bytes> auditToken() const override { return tokenToGive; }
  void invalidate() override;

 private:
  Journal& journal_;
};

// The interface the fake transport makes: the protocol it was made from.
class FakeInterface : public XPCInterface {
 public:
  explicit FakeInterface(RemoteProtocol p) : protocol(std::move(p)) {}
  RemoteProtocol protocol;
};

class FakeTransport : public Transport {
 public:
  explicit FakeTransport(Journal& journal) : journal_(journal) {}
  std::shared_ptr<FakeListener> lastListener;

  // When set, listenerForMachService fails with it.
  std::optional<PlatformError> listenerError;

  std::expected<std::shared_ptr<XPCListener>, PlatformError> listenerForMachService(
      const std::string& name) override;
  std::shared_ptr<const XPCInterface> interfaceWithProtocol(
      const RemoteProtocol& protocol) override;
  void runMainLoop() override;

 private:
  Journal& journal_;
};

}  // namespace tarnel::support
