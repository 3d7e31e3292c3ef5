#include "service/controller.h"

#include <utility>

#include "model/remote_protocols.h"
#include "service/process_platform.h"

namespace tarnel {

namespace {

void deliverRunAction(Controller& controller, std::vector<Value>& arguments, ReplyBlock& reply) {
  // The interface has let through one dictionary, nothing else.
  const auto* request = arguments.at(0).get<Dictionary>();
  controller.runActionWith(*request,
                           [&reply](Dictionary answer) { reply({Value(std::move(answer))}); });
}

void deliverListenerEndpoint(Controller& controller, std::vector<Value>&, ReplyBlock& reply) {
  controller.listenerEndpointWithReply(
      [&reply](std::optional<ListenerEndpoint> endpoint) { reply({std::move(endpoint)}); });
}

// The methods of RemoteActionType, by selector.
constexpr struct {
  std::string_view selector;
  void (*deliver)(Controller&, std::vector<Value>&, ReplyBlock&);
} kServedMethods[] = {
    {"runActionWith:reply:", deliverRunAction},
    {"listenerEndpointWithReply:", deliverListenerEndpoint},
};

}  // namespace

Controller::Controller(Platform& platform, ClientRequirement& requirement)
    : platform_(platform), requirement_(requirement) {}

Controller& Controller::shared() {
  static Controller* const instance = new Controller(processPlatform());
  return *instance;
}

bool Controller::shouldAcceptNewConnection(const std::shared_ptr<XPCListener>& listener,
                                           XPCConnection& connection) {
  // A peer that fails the check is refused without a word.
  if (!SharedSigning::validateConnection(platform_, connection, requirement_)) return false;
  connection.setExportedInterface(platform_.transport.interfaceWithProtocol(remoteActionType()));
  connection.setExportedObject(&shared());
  connection.resume();
  std::lock_guard lock(listenerMutex_);
  listener_ = listener;
  return true;
}

void Controller::listenerEndpointWithReply(const EndpointReply& reply) {
  const auto current = listener();
  reply(current ? current->endpoint() : std::nullopt);
}

void Controller::runActionWith(const Dictionary& request, const ActionReply& reply) {
  dispatchAction(platform_, requirement_, *this, request, reply);
}

void Controller::invoke(std::string_view selector, std::vector<Value> arguments, ReplyBlock reply) {
  for (const auto& method : kServedMethods) {
    if (method.selector == selector) return method.deliver(*this, arguments, reply);
  }
}

std::shared_ptr<XPCListener> Controller::listener() const {
  std::lock_guard lock(listenerMutex_);
  return listener_;
}

std::expected<void, Dictionary> Controller::runLaunchctl(LaunchctlVerb verb,
                                                         const std::string& argument) {
  return tarnel::runLaunchctl(platform_, launchctl, verb, argument);
}

std::string Controller::runCapturingOutput(CaptureCommand command, const std::string& argument) {
  return tarnel::runCapturingOutput(platform_, launchctl, command, argument);
}

}  // namespace tarnel
