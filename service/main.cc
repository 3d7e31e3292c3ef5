// The daemon's entry point: listens for the helper's service and serves every connection through
// Controller::shared() until one of its requests ends the process. The one place where the real
// platform is wired.
#include <memory>
#include <string>

#include "model/helper_label.h"
#include "platform/linux/linux_platform.h"
#include "service/controller.h"
#include "service/process_platform.h"

namespace tarnel {

Platform& processPlatform() {
  // Never destroyed: connection threads use the services until the process ends.
  static auto* const services = new linux_platform::LinuxPlatform;
  static Platform platform = services->platform();
  return platform;
}

}  // namespace tarnel

namespace {

// The service listener, referenced for the life of the process.
std::shared_ptr<tarnel::XPCListener> serviceListener;

}  // namespace

int main() {
  using namespace tarnel;
  auto& platform = processPlatform();
  auto listener = platform.transport.listenerForMachService(helperLabel);
  if (!listener) {
    platform.log.write(std::string("Tarnel X: Could not listen for ") + helperLabel + ": " +
                       listener.error().description);
    return 1;
  }
  serviceListener = *listener;
  auto& controller = Controller::shared();
  serviceListener->setDelegate(&controller);
  serviceListener->resume();
  platform.transport.runMainLoop();
  return 0;
}
