// The verbs of launchctl, each from its operand to the exit status of the tool; each prints what
// it has to say (nothing, for load, unload and remove that succeed).
#pragma once

#include <string>

namespace tarnel::launchctl {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 64;

// Reads the job file, registers the job and, when it is marked RunAtLoad, starts it. A job that
// cannot be started is not registered: nothing is left loaded that would never run.
int loadJob(const std::string& stateFolder, const std::string& path);
// Stops and forgets the job that the file at `path` defines, found by its label.
int unloadJob(const std::string& stateFolder, const std::string& path);
// Stops and forgets the job with `label`.
int removeJob(const std::string& stateFolder, const std::string& label);
// "PID\tStatus\tLabel", then one line per job in label order: the process id or "-" when it is
// not running, and its last exit status (0 for a job that has not run yet).
int listJobs(const std::string& stateFolder);
// One line describing the status code in `text`.
int describeError(const std::string& text);

}  // namespace tarnel::launchctl
