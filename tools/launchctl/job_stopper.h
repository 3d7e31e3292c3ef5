// Ends a job for unload and remove: its supervisor, which closes the job's sockets, and its run,
// politely first, then for certain.
#pragma once

#include <chrono>
#include <expected>
#include <string>

#include "tools/launchctl/job_registry.h"
#include "tools/launchctl/launchctl_error.h"
#include "tools/launchctl/process_identity.h"

namespace tarnel::launchctl {

// How long a job has to end after SIGTERM before SIGKILL follows. The helper waits for unload
// synchronously, so this is kept short.
inline constexpr std::chrono::seconds kStopGracePeriod{5};

// When `process` (a job's first process, leader of its own process group) still runs: sends
// SIGTERM to its group, then SIGKILL once the grace period has passed, and returns when the
// process has ended. Nothing is sent when it has already ended or its id now names another
// process. Why not when it could not be stopped.
std::expected<void, LaunchctlReason> stopJob(const ProcessIdentity& process);

// Ends what the job of `record`, already taken out of the registry, has running: its supervisor,
// which closes the job's sockets and stops its run, and returns once the supervisor has ended; or,
// when the supervisor is gone, the run itself. A caller that runs inside the job's process group
// is a program the job started to take the job out: the job waits for it, so its supervisor is
// asked to let the run end by itself (kStopOnceEndedSignal), and nothing is awaited.
std::expected<void, LaunchctlReason> stopLoadedJob(const JobRecord& record);

}  // namespace tarnel::launchctl
