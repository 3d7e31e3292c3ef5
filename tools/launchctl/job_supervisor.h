// launchd's side of a loaded job: a supervisor process of its own that holds the job's
// MachServices sockets, starts the job at load when it runs at load and whenever a client waits
// on a socket while it is not running, records how each run ended, and outlives the launchctl
// that loaded the job.
#pragma once

#include <signal.h>

#include <chrono>
#include <expected>
#include <optional>
#include <string>

#include "model/helper_end_bounds.h"
#include "tools/launchctl/job_definition.h"
#include "tools/launchctl/launchctl_error.h"
#include "tools/launchctl/process_identity.h"

namespace tarnel::launchctl {

// The last exit status recorded for a run that could not be started: the conventional
// "configuration error", which `launchctl error` describes as such.
inline constexpr int kCouldNotStartStatus = 78;

// At most one start of a job per this interval while its runs end sooner: a run that ends less
// than this long after it started, whatever its end (a clean exit, a failure, a signal), and a
// start that fails, are followed by a pause until this long after that start. A job that exits at
// once, even cleanly and without accepting, is therefore not started over and over while a client
// waits on its socket.
inline constexpr std::chrono::seconds kThrottleInterval{10};

// How long a job that takes itself out has to end by itself before it is stopped. The helper's
// uninstall takes its label out first, then cleans up, then drains its requests before it ends:
// the grace outlasts both bounds, with a margin for the process's own start and end.
inline constexpr std::chrono::seconds kEndByItselfGracePeriod =
    kUninstallCleanUpAllowance + kRequestsFinishTimeLimit + std::chrono::seconds{5};

// What a supervisor is sent to end it. Either way it first closes the job's sockets and removes
// their files; then on kStopSignal it stops the job as unload does, and on kStopOnceEndedSignal
// (the job is taking itself out, and will end) it gives the job kEndByItselfGracePeriod to end by
// itself before stopping it so. It changes nothing in the registry.
inline constexpr int kStopSignal = SIGTERM;
inline constexpr int kStopOnceEndedSignal = SIGUSR1;

struct SupervisorReport {
  ProcessIdentity supervisor;
  // The run started at load, when there is one.
  std::optional<ProcessIdentity> run;
  // The run at load, or the job's sockets, could not be made (the reason is in the system log).
  bool startFailed = false;
};

// Starts the supervisor of `job` (a new session, its standard streams on /dev/null, no other
// descriptor of the caller's), which listens for the job's services in `socketFolder` and, when
// the job runs at load, starts it. Returns once it has done so. The supervisor records in the
// registry in `stateFolder` each later start and each end of a run, as long as the registry's
// record of the job names it as its supervisor, and ends once it has neither sockets nor a run, or
// finds the job unloaded. The caller may hold the registry's exclusive lock throughout; the
// supervisor waits for it. Why not when no supervisor could be started.
std::expected<SupervisorReport, LaunchctlReason> startSupervisor(const JobDefinition& job,
                                                                 const std::string& stateFolder,
                                                                 const std::string& socketFolder);

}  // namespace tarnel::launchctl
