// The two ways the helper runs a child process: launchctl with a verb, judged by its exit status
// alone, and one of three fixed commands whose standard output and error are captured as text.
#pragma once

#include <expected>
#include <string>

#include "model/value.h"
#include "platform/platform.h"

namespace tarnel {

// What runLaunchctl asks of the tool; the raw values are the system's.
enum class LaunchctlVerb { load = 0, remove = 1, unload = 2 };

// What runCapturingOutput runs; the raw values are the system's.
enum class CaptureCommand { loadJob = 0, exitStatus = 1, errorText = 2 };

// Runs `launchctl` with the verb's argument list, `argument` passed unchanged as its last element,
// and waits for its exit. Success when it exits with status 0; otherwise, also when it cannot be
// started, the code error reply of the verb (load 6, remove 5, unload 7). Logs nothing.
std::expected<void, Dictionary> runLaunchctl(Platform& platform, const std::string& launchctl,
                                             LaunchctlVerb verb, const std::string& argument);

// Runs `command` with `argument` (a job file path, a job label, a status text) and returns
// everything it printed on standard output and standard error, read 1024 bytes at a time until end
// of file: a read that is not valid UTF-8 on its own is dropped whole. Its exit is not awaited.
// Empty when it cannot be started.
std::string runCapturingOutput(Platform& platform, const std::string& launchctl,
                               CaptureCommand command, const std::string& argument);

// The two runners as operations of the object that holds the tool's path, Controller: every
// caller runs launchctl through it, the test run and the helper's removal included.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // runLaunchctl above, on the object's platform and tool path.
  virtual std::expected<void, Dictionary> runLaunchctl(LaunchctlVerb verb,
                                                       const std::string& argument) = 0;
  // runCapturingOutput above, on the object's platform and tool path.
  virtual std::string runCapturingOutput(CaptureCommand command, const std::string& argument) = 0;
};

// The captured text is never longer than this: it travels in a reply frame of at most 16 MiB.
// Output past it is still read to the end, so the command is never left blocked on a full pipe.
inline constexpr std::size_t kMaximumCapturedBytes = 4 * 1024 * 1024;

}  // namespace tarnel
