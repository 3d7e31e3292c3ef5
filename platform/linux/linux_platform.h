// The Linux stand-ins for every platform service, owned together and handed out as one Platform:
// the one place where the process is wired to its operating system.
#pragma once

#include "platform/linux/authorization/authorization.h"
#include "platform/linux/clock.h"
#include "platform/linux/code_signing/code_signing.h"
#include "platform/linux/files.h"
#include "platform/linux/log.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/processes.h"
#include "platform/linux/transport/transport.h"
#include "platform/platform.h"

namespace tarnel::linux_platform {

class LinuxPlatform {
 public:
  // Sets up the process for the services: its allocator gives large buffers, such as peers'
  // frames, back to the system as soon as they are freed.
  LinuxPlatform();

  // The services, by reference: valid while this object lives.
  Platform platform() {
    return Platform{processes_,   files_,       log_,           clock_,
                    processExit_, codeSigning_, authorization_, transport_};
  }

 private:
  LinuxProcesses processes_;
  LinuxFiles files_;
  LinuxLog log_;
  LinuxClock clock_;
  LinuxCodeSigning codeSigning_{kDefaultAnchorsFolder, kClientGroup, &log_};
  LinuxAuthorization authorization_;
  LinuxTransport transport_{log_};
  // Ending the process waits for the transport's requests.
  LinuxProcessExit processExit_{transport_};
};

}  // namespace tarnel::linux_platform
