// Starts a job's program directly, never through a shell: its argument vector as the job file
// gives it, in a session of its own, with the job's environment, working directory and output
// files.
#pragma once

#include <sys/types.h>

#include <expected>
#include <string>
#include <vector>

#include "tools/launchctl/job_definition.h"

namespace tarnel::launchctl {

// Every job starts from this environment, whoever loaded it; EnvironmentVariables add to it.
inline constexpr const char* kJobSearchPath = "/usr/bin:/bin:/usr/sbin:/sbin";

// The environment `job` runs with, as "NAME=value" entries.
std::vector<std::string> jobEnvironment(const JobDefinition& job);

// Starts `job` as a child of the calling process: standard input from /dev/null, output and errors
// appended to StandardOutPath and StandardErrorPath (created with mode 0644) or sent to
// /dev/null, default signal handling and nothing blocked, and no descriptor but those three. Its
// process id, or why it could not start, ready to print.
std::expected<pid_t, std::string> spawnJob(const JobDefinition& job);

}  // namespace tarnel::launchctl
