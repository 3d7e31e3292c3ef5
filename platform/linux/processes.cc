#include "platform/linux/processes.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

bool holdsNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// Starts `program`; its standard output and error go to `joinedOutput` when one is given. The
// child's id, or nothing when it could not be started (an argument holding a NUL byte cannot be
// passed unchanged, so such a program is not started either).
std::optional<pid_t> spawn(const std::string& program, const std::vector<std::string>& arguments,
                           std::optional<int> joinedOutput) {
  if (holdsNul(program) || std::ranges::any_of(arguments, holdsNul)) return std::nullopt;
  std::vector<std::string> argumentVector{program};
  argumentVector.insert(argumentVector.end(), arguments.begin(), arguments.end());

  SpawnAttributes attributes;
  SpawnFileActions actions;
  if (!attributes.resetSignals()) return std::nullopt;
  if (joinedOutput && !(actions.duplicate(*joinedOutput, STDOUT_FILENO) &&
                        actions.duplicate(*joinedOutput, STDERR_FILENO))) {
    return std::nullopt;
  }
  if (!actions.closeAllButStandardStreams()) return std::nullopt;
  const auto child = spawnProgram(program, argumentVector, actions, attributes);
  if (!child) return std::nullopt;
  return *child;
}

// The termination status of `child` once it has exited: its exit status, or the number of the
// signal that ended it; nothing when its status cannot be had (somebody else reaped it).
std::optional<int> waitForExit(pid_t child) {
  const auto status = waitForChild(child);
  if (!status) return std::nullopt;
  if (WIFEXITED(*status)) return WEXITSTATUS(*status);
  if (WIFSIGNALED(*status)) return WTERMSIG(*status);
  return std::nullopt;
}

// Waits, on a detached thread of its own, for the exit of one child whose exit nobody else awaits.
// The thread is started before the child, so that no child is ever started without its reaper;
// if no child is handed over, the thread ends when the reaper goes.
class ChildReaper {
 public:
  // Throws std::system_error when no thread can be started.
  ChildReaper() {
    std::thread([child = child_.get_future()]() mutable {
      pid_t started = 0;
      try {
        started = child.get();
      } catch (const std::future_error&) {
        return;
      }
      waitForExit(started);
    }).detach();
  }

  void reap(pid_t child) { child_.set_value(child); }

 private:
  std::promise<pid_t> child_;
};

class ChildOutputPipe : public OutputPipe {
 public:
  explicit ChildOutputPipe(UniqueFd readingEnd) : readingEnd_(std::move(readingEnd)) {}

  // A failed read ends the output as end of file does: nothing more can come through this end.
  Bytes read(std::size_t maximum) override {
    Bytes bytes(maximum);
    for (;;) {
      const auto count = ::read(readingEnd_.get(), bytes.data(), bytes.size());
      if (count >= 0) {
        bytes.resize(static_cast<std::size_t>(count));
        return bytes;
      }
      if (errno != EINTR) return {};
    }
  }

 private:
  UniqueFd readingEnd_;
};

}  // namespace

std::optional<int> LinuxProcesses::run(const std::string& program,
                                       const std::vector<std::string>& arguments) {
  const auto child = spawn(program, arguments, std::nullopt);
  if (!child) return std::nullopt;
  return waitForExit(*child);
}

std::unique_ptr<OutputPipe> LinuxProcesses::runCapturing(
    const std::string& program, const std::vector<std::string>& arguments) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return nullptr;
  UniqueFd readingEnd(ends[0]);
  UniqueFd writingEnd(ends[1]);

  std::optional<ChildReaper> reaper;
  try {
    reaper.emplace();
  } catch (const std::system_error&) {
    return nullptr;
  }

  const auto child = spawn(program, arguments, writingEnd.get());
  if (!child) return nullptr;
  reaper->reap(*child);
  // Once only the child holds the writing end, its exit (and that of anything it passed the end
  // to) ends the output.
  writingEnd.reset();
  return std::make_unique<ChildOutputPipe>(std::move(readingEnd));
}

}  // namespace tarnel::linux_platform
