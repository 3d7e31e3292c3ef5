// The one object that serves every connection: the listener's delegate, which decides whether to
// take a connection, and the object exported on each one taken, which answers its calls.
#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"
#include "operations/command_runner.h"
#include "platform/platform.h"
#include "platform/transport.h"
#include "service/action_dispatcher.h"
#include "trust/shared_signing.h"

namespace tarnel {

// How listenerEndpointWithReply: answers: once, with the endpoint or nil.
using EndpointReply = std::function<void(std::optional<ListenerEndpoint> endpoint)>;

class Controller : public XPCListenerDelegate, public ExportedObject, public CommandRunner {
 public:
  // `listener` absent, `launchctl` "/bin/launchctl". Signatures are checked against `requirement`:
  // the process-wide client requirement unless a test gives its own.
  explicit Controller(Platform& platform,
                      ClientRequirement& requirement = SharedSigning::clientRequirement());
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  // The single Controller of the process, made on the first call, on processPlatform(); concurrent
  // first calls yield the same one. It is never destroyed: connection threads may still use it
  // while the process ends.
  static Controller& shared();

  // listener:shouldAcceptNewConnection: takes a connection whose peer passes the signature check:
  // exports shared() on it under RemoteActionType, resumes it and only then records `listener`.
  // A refused connection is left untouched.
  bool shouldAcceptNewConnection(const std::shared_ptr<XPCListener>& listener,
                                 XPCConnection& connection) override;
  // listenerEndpointWithReply: answers, before it returns, with the endpoint of `listener`, or nil
  // when there is no listener or it has no endpoint.
  void listenerEndpointWithReply(const EndpointReply& reply);
  // runActionWith:reply: (the action dispatcher).
  void runActionWith(const Dictionary& request, const ActionReply& reply);

  // Delivers a call of RemoteActionType, whose arguments the connection has checked.
  void invoke(std::string_view selector, std::vector<Value> arguments, ReplyBlock reply) override;

  // The listener that accepted the most recent connection; safe from any thread.
  std::shared_ptr<XPCListener> listener() const;

  // The two launchctl runners, on its platform and its launchctl: the route of every command the
  // helper runs.
  std::expected<void, Dictionary> runLaunchctl(LaunchctlVerb verb,
                                               const std::string& argument) override;
  std::string runCapturingOutput(CaptureCommand command, const std::string& argument) override;

  // The full path of the launchd control tool.
  const std::string launchctl = "/bin/launchctl";

 private:
  Platform& platform_;
  ClientRequirement& requirement_;
  mutable std::mutex listenerMutex_;
  std::shared_ptr<XPCListener> listener_;
};

}  // namespace tarnel
