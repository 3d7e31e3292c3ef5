// The daemon's entry point: listens for the helper's service and serves every connection through
// Controller::shared() until one of its requests ends the process. The one place where the real
// platform is wired.
#include <memory>
#include <string>

#include "model/helper_label.h"
#include "platform/linux/authorization.h"
#include "platform/linux/clock.h"
#include "platform/linux/code_signing.h"
#include "platform/linux/files.h"
#include "platform/linux/log.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/processes.h"
#include "platform/linux/transport.h"
#include "service/controller.h"
#include "service/process_platform.h"

namespace tarnel {

namespace {

struct LinuxServices {
  linux_platform::LinuxProcesses processes;
  linux_platform::LinuxFiles files;
  linux_platform::LinuxLog log;
  linux_platform::LinuxClock clock;
  linux_platform::LinuxProcessExit processExit;
  linux_platform::LinuxCodeSigning codeSigning;
  linux_platform::LinuxAuthorization authorization;
  linux_platform::LinuxTransport transport;
};

}  // namespace

Platform& processPlatform() {
  // Never destroyed: connection threads use them until the process ends.
  static auto* const services = new LinuxServices;
  static Platform platform{services->processes,     services->files,       services->log,
                           services->clock,         services->processExit, services->codeSigning,
                           services->authorization, services->transport};
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
