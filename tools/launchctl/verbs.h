// The verbs of launchctl, each from its operand to the exit status of the tool; each prints what
// it has to say (nothing, for load, unload and remove that succeed).
#pragma once

#include <string>

namespace tarnel::launchctl {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 64;

// Reads the job file and registers the job; when it has MachServices or runs at load, starts its
// supervisor, which listens for its services in `socketFolder` and starts it at load when it
// runs at load. A job whose program cannot be started is loaded all the same, with the last exit
// status 78; only a job file that does not define a job, or a label already loaded, is refused.
int loadJob(const std::string& stateFolder, const std::string& socketFolder,
            const std::string& path);
// Forgets the job that the file at `path` defines, found by its label, closes its sockets and
// stops it.
int unloadJob(const std::string& stateFolder, const std::string& path);
// The same for the job with `label`.
int removeJob(const std::string& stateFolder, const std::string& label);
// "PID\tStatus\tLabel", then one line per job in label order: the process id or "-" when it is
// not running, and its last exit status (0 for a job that has not run yet).
int listJobs(const std::string& stateFolder);
// One line describing the status code in `text`.
int describeError(const std::string& text);

}  // namespace tarnel::launchctl
