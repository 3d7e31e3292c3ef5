// The registry of loaded jobs in the state folder, opened under a lock so that launchctl processes
// running at once (and the supervisors recording exits) never lose each other's changes.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/launchctl_error.h"
#include "tools/launchctl/process_identity.h"

namespace tarnel::launchctl {

struct JobRecord {
  std::string label;
  // The job file it was loaded from.
  std::string path;
  // The run going on, if one was started and has not been seen to end.
  std::optional<ProcessIdentity> process;
  // launchd's side of the job: the process that holds its sockets and starts and awaits its runs;
  // none for a job that has nothing to start at load or on demand.
  std::optional<ProcessIdentity> supervisor;
  // How its last run ended: the exit status, or minus the signal that ended it; 0 before any run.
  int lastExitStatus = 0;

  bool operator==(const JobRecord&) const = default;
};

enum class LockMode { shared, exclusive };

class JobRegistry {
 public:
  // Locks the registry in `folder` (shared for reading, exclusive for changing) and reads it; the
  // lock is held until the registry goes. Why not when that fails.
  static std::expected<JobRegistry, LaunchctlError> open(const std::string& folder, LockMode mode);

  // Ordered by label.
  const std::vector<JobRecord>& records() const { return records_; }
  JobRecord* find(std::string_view label);
  void add(JobRecord record);
  void erase(std::string_view label);

  // Replaces the registry file as a whole (a new file renamed over the old), so that a reader or
  // a crash sees either the old registry or the new one. Needs the exclusive lock.
  std::expected<void, LaunchctlError> save() const;

 private:
  JobRegistry(std::string folder, linux_platform::UniqueFd lock, std::vector<JobRecord> records)
      : folder_(std::move(folder)), lock_(std::move(lock)), records_(std::move(records)) {}

  std::string folder_;
  linux_platform::UniqueFd lock_;
  std::vector<JobRecord> records_;
};

// The registry file's text for `records`, and back: nothing when the text is damaged.
std::string encodeRegistry(const std::vector<JobRecord>& records);
std::optional<std::vector<JobRecord>> decodeRegistry(std::string_view text);

}  // namespace tarnel::launchctl
