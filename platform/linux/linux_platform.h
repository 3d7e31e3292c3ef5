// The Linux stand-ins for every platform service, owned together and handed out as one Platform.
#pragma once

#include "platform/linux/authorization.h"
#include "platform/linux/clock.h"
#include "platform/linux/code_signing.h"
#include "platform/linux/files.h"
#include "platform/linux/log.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/processes.h"
#include "platform/linux/transport.h"
#include "platform/platform.h"

namespace tarnel::linux_platform {

class LinuxPlatform {
 public:
  // The services, by reference: valid while this object lives.
  Platform platform() {
    return Platform{processes_,  files_,         log_,           clock_,
                    processExit_, codeSigning_, authorization_, transport_};
  }

 private:
  LinuxProcesses processes_;
  LinuxFiles files_;
  LinuxLog log_;
  LinuxClock clock_;
  LinuxProcessExit processExit_;
  LinuxCodeSigning codeSigning_;
  LinuxAuthorization authorization_;
  LinuxTransport transport_;
};

}  // namespace tarnel::linux_platform
