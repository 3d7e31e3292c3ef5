#include "tools/launchctl/process_identity.h"

#include "platform/linux/posix/process_status.h"

namespace tarnel::launchctl {

std::optional<ProcessIdentity> identifyProcess(pid_t pid) {
  const auto stat = linux_platform::readProcessStat(pid);
  if (!stat) return std::nullopt;
  return ProcessIdentity{.pid = pid, .startTime = stat->startTime};
}

bool isPresent(const ProcessIdentity& process) {
  const auto stat = linux_platform::readProcessStat(process.pid);
  return stat && stat->startTime == process.startTime;
}

bool isRunning(const ProcessIdentity& process) {
  const auto stat = linux_platform::readProcessStat(process.pid);
  return stat && stat->startTime == process.startTime && !stat->hasExited();
}

}  // namespace tarnel::launchctl
