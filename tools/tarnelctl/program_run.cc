#include "tools/tarnelctl/program_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::tarnelctl {

namespace {

using linux_platform::SpawnAttributes;
using linux_platform::SpawnFileActions;
using linux_platform::UniqueFd;

// More than codesign's description of any executable (its property list is at most 1 MiB).
constexpr std::size_t kMaximumOutput = 2 * 1024 * 1024;

std::optional<int> exitStatusOf(pid_t child) {
  const auto status = linux_platform::waitForChild(child);
  if (!status || !WIFEXITED(*status)) return std::nullopt;
  return WEXITSTATUS(*status);
}

}  // namespace

CapturedRun runCapturing(const std::string& program, const std::vector<std::string>& arguments) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return {};
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);
  const UniqueFd devNull(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  SpawnAttributes attributes;
  SpawnFileActions actions;
  if (!devNull || !attributes.resetSignals() || !actions.duplicate(writeEnd.get(), STDOUT_FILENO) ||
      !actions.duplicate(devNull.get(), STDERR_FILENO) || !actions.closeAllButStandardStreams()) {
    return {};
  }
  const auto child = linux_platform::spawnProgram(program, arguments, actions, attributes);
  writeEnd.reset();
  if (!child) return {};
  CapturedRun run;
  char buffer[65536];
  while (run.output.size() < kMaximumOutput) {
    const ssize_t count = ::read(readEnd.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(count));
  }
  // A child that prints more than that meets a closed pipe and ends.
  readEnd.reset();
  run.exitStatus = exitStatusOf(*child);
  return run;
}

std::optional<int> runShowingOnStandardError(const std::string& program,
                                             const std::vector<std::string>& arguments) {
  SpawnAttributes attributes;
  SpawnFileActions actions;
  if (!attributes.resetSignals() || !actions.duplicate(STDERR_FILENO, STDOUT_FILENO) ||
      !actions.closeAllButStandardStreams()) {
    return std::nullopt;
  }
  const auto child = linux_platform::spawnProgram(program, arguments, actions, attributes);
  if (!child) return std::nullopt;
  return exitStatusOf(*child);
}

}  // namespace tarnel::tarnelctl
