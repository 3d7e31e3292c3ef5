#include "platform/linux/processes.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/program_run.h"
#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

bool holdsNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// The argument vector that runs `program` with `arguments`; nothing when one of them holds a NUL
// byte, which cannot be passed unchanged, so that such a program is not started at all.
std::optional<std::vector<std::string>> argumentVectorFor(
    const std::string& program, const std::vector<std::string>& arguments) {
  if (holdsNul(program) || std::ranges::any_of(arguments, holdsNul)) return std::nullopt;
  std::vector<std::string> argumentVector{program};
  argumentVector.insert(argumentVector.end(), arguments.begin(), arguments.end());
  return argumentVector;
}

// The termination status of a child from its wait status: its exit status, or the number of the
// signal that ended it.
std::optional<int> terminationStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return WTERMSIG(waitStatus);
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
      waitForChild(started);
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
    const auto count = readSome(readingEnd_.get(), bytes.data(), bytes.size());
    if (!count) return {};
    bytes.resize(*count);
    return bytes;
  }

 private:
  UniqueFd readingEnd_;
};

}  // namespace

std::optional<int> LinuxProcesses::run(const std::string& program,
                                       const std::vector<std::string>& arguments) {
  const auto argumentVector = argumentVectorFor(program, arguments);
  if (!argumentVector) return std::nullopt;
  const auto waitStatus = runAndWait(program, *argumentVector);
  if (!waitStatus) return std::nullopt;
  return terminationStatus(*waitStatus);
}

std::unique_ptr<OutputPipe> LinuxProcesses::runCapturing(
    const std::string& program, const std::vector<std::string>& arguments) {
  const auto argumentVector = argumentVectorFor(program, arguments);
  if (!argumentVector) return nullptr;
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

  // Standard output and errors alike go to the pipe.
  const auto child = startProgram(program, *argumentVector,
                                  {.output = ChildStream::copyOf(writingEnd.get()),
                                   .errors = ChildStream::copyOf(writingEnd.get())});
  if (!child) return nullptr;
  reaper->reap(*child);
  // Once only the child holds the writing end, its exit (and that of anything it passed the end
  // to) ends the output.
  writingEnd.reset();
  return std::make_unique<ChildOutputPipe>(std::move(readingEnd));
}

}  // namespace tarnel::linux_platform
