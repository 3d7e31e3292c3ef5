#include "tools/authorityd/creator_process.h"

#include "platform/linux/posix/process_status.h"

namespace tarnel::authorityd {

std::optional<std::uint64_t> runningStartTime(const linux_platform::AuditToken& creator) {
  const auto startTime = linux_platform::processStartTime(static_cast<pid_t>(creator.processId));
  // A process id reused by another process comes with another start time.
  if (!startTime || static_cast<std::uint32_t>(*startTime) != creator.processVersion) {
    return std::nullopt;
  }
  return startTime;
}

}  // namespace tarnel::authorityd
