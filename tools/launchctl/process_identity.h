// Which process a job's run is: the platform's one name for a process (posix/process_identity.h),
// so that a process id the system has since given to another process is never taken for the job.
#pragma once

#include "platform/linux/posix/process_identity.h"

namespace tarnel::launchctl {

using linux_platform::identifyProcess;
using linux_platform::isPresent;
using linux_platform::isRunning;
using linux_platform::ProcessIdentity;

}  // namespace tarnel::launchctl
