// Reads a job's property list file into a JobDefinition, refusing anything it cannot vouch for:
// a job file that fails here is never run.
#pragma once

#include <cstddef>
#include <expected>
#include <string>

#include "tools/launchctl/job_definition.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

// Job files are small; anything larger is refused before it is parsed.
inline constexpr std::size_t kMaximumJobFileSize = 1024 * 1024;
// A binary job file names objects by reference and each reference is read as a copy; what it
// would take once read, as binaryPlistExpandsWithin counts it, is bounded too.
inline constexpr std::size_t kMaximumExpandedJobSize = 16 * kMaximumJobFileSize;

// The job that the property list at `path` defines, or why it does not define one. The file must
// be a regular file owned by root or by the effective user and writable by nobody else, since the
// job runs with launchctl's own privileges.
std::expected<JobDefinition, LaunchctlError> readJobFile(const std::string& path);

}  // namespace tarnel::launchctl
