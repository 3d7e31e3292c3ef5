// The process that created an authorization, as its audit token names it: still running, or
// gone (exited, or its process id now another process's).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/linux/posix/audit_token.h"

namespace tarnel::authorityd {

// The start time of the process that `creator` names while that very process runs; nothing once
// it has exited.
std::optional<std::uint64_t> runningStartTime(const linux_platform::AuditToken& creator);

}  // namespace tarnel::authorityd
