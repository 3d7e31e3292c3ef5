#include "platform/linux/processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/linux/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

constexpr int kFirstDescriptorAfterStandardStreams = 3;

class SpawnAttributes {
 public:
  SpawnAttributes() : initialised_(::posix_spawnattr_init(&attributes_) == 0) {}
  ~SpawnAttributes() {
    if (initialised_) ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  // The child starts with no signal blocked and every signal at its default action, whatever the
  // starting thread blocks or the helper ignores (a shell pipeline relies on SIGPIPE).
  bool resetSignals() {
    sigset_t none;
    sigset_t all;
    return initialised_ && ::sigemptyset(&none) == 0 && ::sigfillset(&all) == 0 &&
           ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
           ::posix_spawnattr_setflags(&attributes_, static_cast<short>(POSIX_SPAWN_SETSIGMASK |
                                                                       POSIX_SPAWN_SETSIGDEF)) == 0;
  }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  bool initialised_;
};

class SpawnFileActions {
 public:
  SpawnFileActions() : initialised_(::posix_spawn_file_actions_init(&actions_) == 0) {}
  ~SpawnFileActions() {
    if (initialised_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;

  bool joinOutputInto(int descriptor) {
    return initialised_ &&
           ::posix_spawn_file_actions_adddup2(&actions_, descriptor, STDOUT_FILENO) == 0 &&
           ::posix_spawn_file_actions_adddup2(&actions_, descriptor, STDERR_FILENO) == 0;
  }
  // A descriptor that somebody opened without close-on-exec still never reaches the child: it
  // inherits the standard streams and nothing else.
  bool closeAllButStandardStreams() {
    return initialised_ && ::posix_spawn_file_actions_addclosefrom_np(
                               &actions_, kFirstDescriptorAfterStandardStreams) == 0;
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool initialised_;
};

bool holdsNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// Starts `program`; its standard output and error go to `joinedOutput` when one is given. The
// child's id, or nothing when it could not be started (an argument holding a NUL byte cannot be
// passed unchanged, so such a program is not started either).
std::optional<pid_t> spawn(const std::string& program, const std::vector<std::string>& arguments,
                           std::optional<int> joinedOutput) {
  if (holdsNul(program) || std::ranges::any_of(arguments, holdsNul)) return std::nullopt;

  // posix_spawn takes char* const[] but never writes through it.
  std::vector<char*> argumentVector;
  argumentVector.reserve(arguments.size() + 2);
  argumentVector.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments)
    argumentVector.push_back(const_cast<char*>(argument.c_str()));
  argumentVector.push_back(nullptr);

  SpawnAttributes attributes;
  SpawnFileActions actions;
  if (!attributes.resetSignals()) return std::nullopt;
  if (joinedOutput && !actions.joinOutputInto(*joinedOutput)) return std::nullopt;
  if (!actions.closeAllButStandardStreams()) return std::nullopt;

  pid_t child = 0;
  if (::posix_spawn(&child, program.c_str(), actions.get(), attributes.get(), argumentVector.data(),
                    environ) != 0) {
    return std::nullopt;
  }
  return child;
}

// The termination status of `child` once it has exited: its exit status, or the number of the
// signal that ended it; nothing when its status cannot be had (somebody else reaped it).
std::optional<int> waitForExit(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return WTERMSIG(status);
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
