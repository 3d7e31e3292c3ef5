// Messaging between processes: the stand-in for NSXPCListener, NSXPCConnection, NSXPCInterface,
// NSXPCListenerEndpoint and the main run loop.
#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/platform_error.h"
#include "model/remote_protocol.h"
#include "model/value.h"

namespace tarnel {

// The length of the audit token that names a connection's peer.
inline constexpr std::size_t kAuditTokenLength = 32;

// What a client can connect with, as it can with a service name.
struct ListenerEndpoint {
  std::string socketAddress;
  bool operator==(const ListenerEndpoint&) const = default;
};

// An interface made from a protocol: what calls a connection lets through to its object.
class XPCInterface {
 public:
  virtual ~XPCInterface() = default;
};

// One argument of a reply block: a property-list value, or an endpoint (nothing for nil).
using ReplyArgument = std::variant<Value, std::optional<ListenerEndpoint>>;
// A reply block: to be called at most once; later calls are ignored. The reply has been written to
// the peer when it returns, so an answer followed by ending the process still reaches its client.
using ReplyBlock = std::function<void(std::vector<ReplyArgument> arguments)>;

// The object exported on a connection; it receives only calls that the interface let through,
// with arguments of the kinds the method declares. invoke throws nothing but std::bad_alloc: a
// failure is an answer through the reply block, or no answer; running out of memory ends the
// connection.
class ExportedObject {
 public:
  virtual ~ExportedObject() = default;
  virtual void invoke(std::string_view selector, std::vector<Value> arguments,
                      ReplyBlock reply) = 0;
};

class XPCConnection {
 public:
  virtual ~XPCConnection() = default;
  virtual void setExportedInterface(std::shared_ptr<const XPCInterface> interface) = 0;
  // The object is not owned and must outlive the connection.
  virtual void setExportedObject(ExportedObject* object) = 0;
  // Starts delivering the peer's calls, in order, on a thread of the connection's own. A call
  // that the exported interface lacks, or whose arguments are not of the kinds it declares, is
  // not delivered and invalidates the connection.
  virtual void resume() = 0;
  // The peer's audit token, kAuditTokenLength bytes, taken by the kernel when the peer connected;
  // nothing when the connection has none.
  virtual std::optional<Bytes> auditToken() const = 0;
  // Closes the connection; no further call is delivered.
  virtual void invalidate() = 0;
};

class XPCListener;

class XPCListenerDelegate {
 public:
  virtual ~XPCListenerDelegate() = default;
  // True to take the connection; a connection not taken is closed without a word to the peer.
  virtual bool shouldAcceptNewConnection(const std::shared_ptr<XPCListener>& listener,
                                         XPCConnection& connection) = 0;
};

class XPCListener {
 public:
  virtual ~XPCListener() = default;
  // The delegate is not owned and must outlive the listener.
  virtual void setDelegate(XPCListenerDelegate* delegate) = 0;
  // Starts offering new connections to the delegate.
  virtual void resume() = 0;
  // The endpoint of this listener; nothing when it has none.
  virtual std::optional<ListenerEndpoint> endpoint() const = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // A listener for the named service, which the system provides or the listener binds; the
  // error says why there can be none (the service's address taken, no permission).
  virtual std::expected<std::shared_ptr<XPCListener>, PlatformError> listenerForMachService(
      const std::string& name) = 0;
  virtual std::shared_ptr<const XPCInterface> interfaceWithProtocol(
      const RemoteProtocol& protocol) = 0;
  // Runs the calling thread's event loop, which only offers new connections to listeners, for the
  // life of the process.
  virtual void runMainLoop() = 0;
};

}  // namespace tarnel
