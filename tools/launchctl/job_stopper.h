// Ends a job's run for unload and remove: politely first, then for certain.
#pragma once

#include <chrono>
#include <expected>
#include <string>

#include "tools/launchctl/process_identity.h"

namespace tarnel::launchctl {

// How long a job has to end after SIGTERM before SIGKILL follows. The helper waits for unload
// synchronously, so this is kept short.
inline constexpr std::chrono::seconds kStopGracePeriod{5};

// When `process` (a job's first process, leader of its own process group) still runs: sends
// SIGTERM to its group, then SIGKILL once the grace period has passed, and returns when the
// process has ended. Nothing is sent when it has already ended or its id now names another
// process. The reason, ready to print, when it could not be stopped.
std::expected<void, std::string> stopJob(const ProcessIdentity& process);

}  // namespace tarnel::launchctl
