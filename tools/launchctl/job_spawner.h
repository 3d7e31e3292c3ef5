// Starts a job's program directly, never through a shell: its argument vector as the job file
// gives it, in a session of its own, with the job's environment, working directory and output
// files, and the sockets of its MachServices by socket activation.
#pragma once

#include <sys/types.h>

#include <expected>
#include <string>
#include <vector>

#include "tools/launchctl/job_definition.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

// Every job starts from this environment, whoever loaded it; EnvironmentVariables add to it.
inline constexpr const char* kJobSearchPath = "/usr/bin:/bin:/usr/sbin:/sbin";

// The environment `job` runs with, as "NAME=value" entries.
std::vector<std::string> jobEnvironment(const JobDefinition& job);

// The listening sockets a job is started with, and their service names.
struct PassedSockets {
  std::vector<int> descriptors;
  std::vector<std::string> names;
};

// Starts `job` as a child of the calling process, which must run one thread only: standard input
// from /dev/null, output and errors appended to StandardOutPath and StandardErrorPath (created
// with mode 0644) or sent to /dev/null, default signal handling and nothing blocked, the sockets
// as descriptors 3, 4, ... with LISTEN_PID (the child's own id), LISTEN_FDS and LISTEN_FDNAMES,
// and no other descriptor. Returns once the program runs: its process id, or why it could not
// start.
std::expected<pid_t, LaunchctlReason> spawnJob(const JobDefinition& job,
                                               const PassedSockets& sockets);

}  // namespace tarnel::launchctl
