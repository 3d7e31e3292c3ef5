// Runs a job under a supervisor process of its own, so that the job outlives the launchctl that
// started it and its last exit status is recorded when it ends.
#pragma once

#include <expected>
#include <string>

#include "tools/launchctl/job_definition.h"
#include "tools/launchctl/process_identity.h"

namespace tarnel::launchctl {

// Starts `job` under a detached supervisor (a new session, its standard streams on /dev/null, no
// other descriptor of the caller's) and returns once the job has started or failed to. When the
// job ends, the supervisor records how it ended (its exit status, or minus the number of the signal
// that ended it) in the registry in `stateFolder`, provided
// the registry still holds this run. The caller may hold the registry's exclusive lock
// throughout; the supervisor waits for it. The running job, or why it could not start.
std::expected<ProcessIdentity, std::string> startSupervisedJob(const JobDefinition& job,
                                                               const std::string& stateFolder);

}  // namespace tarnel::launchctl
