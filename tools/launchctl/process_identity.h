// Which process a job's run is: its id together with its start time, so that a process id the
// system has since given to another process is never taken for the job.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace tarnel::launchctl {

struct ProcessIdentity {
  pid_t pid = 0;
  // Field 22 of /proc/PID/stat: clock ticks since boot at which the process started.
  std::uint64_t startTime = 0;

  bool operator==(const ProcessIdentity&) const = default;
};

// The identity of process `pid` as it is now, ended or not; nothing when there is no such process.
std::optional<ProcessIdentity> identifyProcess(pid_t pid);

// True while `process` exists and has not ended (an ended process not yet reaped has ended).
bool isRunning(const ProcessIdentity& process);

// True while `process` exists, ended or not: a job's supervisor reaps it only once its exit is
// recorded, so a job present is one whose exit status is not recorded yet.
bool isPresent(const ProcessIdentity& process);

}  // namespace tarnel::launchctl
