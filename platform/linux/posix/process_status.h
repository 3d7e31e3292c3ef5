// What /proc says of a process: its stat line and its status file, each read whole, close-on-exec
// and bounded, and parsed in this one place.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnel::linux_platform {

// The fields of /proc/PID/stat that are read here.
struct ProcessStat {
  char state = '?';             // field 3
  std::int64_t session = 0;     // field 6
  std::uint64_t startTime = 0;  // field 22: clock ticks since boot at which the process started

  // A zombie keeps its process id and start time until it is reaped, yet it has exited.
  bool hasExited() const { return state == 'Z' || state == 'X'; }
};

// The stat line of process `pid`, ended or not; nothing when there is no such process.
std::optional<ProcessStat> readProcessStat(pid_t pid);

// The start time of process `pid` while it runs; nothing once it has exited, even while it awaits
// its parent.
std::optional<std::uint64_t> processStartTime(pid_t pid);

// A status file of /proc: "Key:\tvalue" lines, of a process or of one of its threads.
class ProcessStatus {
 public:
  // The status file at `path`; nothing when it cannot be read (the process or thread has gone).
  static std::optional<ProcessStatus> read(const std::string& path);
  // The status file `name` inside the open folder `directory`.
  static std::optional<ProcessStatus> readAt(int directory, const std::string& name);
  // The status file open as `fd`, read again from its start.
  static std::optional<ProcessStatus> readFrom(int fd);

  // The value of the line `key`, blanks after the colon skipped.
  std::optional<std::string> field(std::string_view key) const;
  // The first number of the line `key`: the real id of "Uid" or "Gid".
  std::optional<std::uint32_t> firstNumber(std::string_view key) const;

 private:
  explicit ProcessStatus(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

// /proc/PID/status.
std::optional<ProcessStatus> readProcessStatus(pid_t pid);

}  // namespace tarnel::linux_platform
