// The one way a test runs a program to its end: its exit status and, as the test asks, what it
// printed. A program that has not ended (or has left its output open) when the time limit runs
// out is killed and fails the test, so that nothing hangs.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "tests/support/child_processes.h"
#include "tests/support/eventually.h"

extern char** environ;

namespace tarnel::support {

struct RunOptions {
  // The whole environment of the program; none to pass on this process's.
  std::optional<std::vector<std::string>> environment;
  // What is read of its standard output and error: each on its own, both as one stream, standard
  // output alone (its errors go where the test's go), or neither (both go where the test's go).
  enum class Streams { separate, joined, outputOnly, none } streams = Streams::separate;
};

struct ProgramRun {
  // Its exit status, 128 + the signal that ended it, or -1 when it did not start or was killed
  // at the time limit.
  int status = -1;
  std::string output;  // standard output, and standard error with Streams::joined
  std::string errors;  // standard error with Streams::separate
};

// A program started and not yet waited for; finish() reads what it prints to the end and waits
// for it. Killed and reaped when the object goes unfinished.
class StartedProgram {
 public:
  StartedProgram(std::vector<std::string> arguments, RunOptions options = {})
      : command_(arguments.empty() ? "" : arguments.front()) {
    using Streams = RunOptions::Streams;
    linux_platform::UniqueFd outputEnd;
    linux_platform::UniqueFd errorsEnd;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    const auto capture = [&](int stream, linux_platform::UniqueFd& readEnd,
                             linux_platform::UniqueFd& writeEnd) {
      int ends[2];
      if (::pipe2(ends, O_CLOEXEC) != 0) return;
      readEnd.reset(ends[0]);
      writeEnd.reset(ends[1]);
      ::posix_spawn_file_actions_adddup2(&actions, ends[1], stream);
    };
    if (options.streams != Streams::none) capture(STDOUT_FILENO, output_, outputEnd);
    if (options.streams == Streams::separate) capture(STDERR_FILENO, errors_, errorsEnd);
    if (options.streams == Streams::joined && outputEnd) {
      ::posix_spawn_file_actions_adddup2(&actions, outputEnd.get(), STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (options.environment) {
      for (auto& entry : *options.environment) envp.push_back(entry.data());
      envp.push_back(nullptr);
    }
    pid_t pid = -1;
    if (argv.size() > 1 && ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                                         options.environment ? envp.data() : environ) != 0) {
      pid = -1;
    }
    child_ = OwnedChild(pid);
    ::posix_spawn_file_actions_destroy(&actions);
    if (!child_) ADD_FAILURE() << "cannot run " << command_;
  }
  StartedProgram(StartedProgram&&) noexcept = default;

  pid_t pid() const { return child_.pid(); }

  ProgramRun finish() {
    ProgramRun run;
    if (!child_) return run;
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    linux_platform::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, child_.pid(), 0)));
    // Every captured stream to its end, then the exit.
    while ((output_ || errors_ || !ended(pidfd)) && waitFor(pidfd, giveUp)) {
      readSome(output_, run.output);
      readSome(errors_, run.errors);
    }
    if (output_ || errors_ || !ended(pidfd)) {
      ADD_FAILURE() << command_ << " did not end within " << kPatience.count() << " s";
      child_.end();
      return run;
    }
    const int status = child_.reap();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
  }

 private:
  static bool ended(const linux_platform::UniqueFd& pidfd) {
    pollfd exit{.fd = pidfd.get(), .events = POLLIN, .revents = 0};
    return ::poll(&exit, 1, 0) == 1;
  }
  // Waits until a captured stream or the exit has something to say; false at the time limit.
  bool waitFor(const linux_platform::UniqueFd& pidfd, std::chrono::steady_clock::time_point until) {
    pollfd waits[] = {{output_.get(), POLLIN, 0}, {errors_.get(), POLLIN, 0}, {-1, POLLIN, 0}};
    // The exit matters only once nothing more is to be read.
    if (!output_ && !errors_) waits[2].fd = pidfd.get();
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      const int ready = ::poll(waits, 3, static_cast<int>(left.count()));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
    }
  }
  // Appends what `stream` holds now; closes it at its end.
  static void readSome(linux_platform::UniqueFd& stream, std::string& into) {
    if (!stream) return;
    pollfd ready{.fd = stream.get(), .events = POLLIN, .revents = 0};
    if (::poll(&ready, 1, 0) != 1) return;
    char buffer[4096];
    const ssize_t count = ::read(stream.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) return;
    if (count <= 0) {
      stream.reset();
      return;
    }
    into.append(buffer, static_cast<std::size_t>(count));
  }

  std::string command_;
  OwnedChild child_;
  linux_platform::UniqueFd output_;
  linux_platform::UniqueFd errors_;
};

// Runs `arguments` (the program first) to its end.
inline ProgramRun runProgram(std::vector<std::string> arguments, RunOptions options = {}) {
  return StartedProgram(std::move(arguments), std::move(options)).finish();
}

}  // namespace tarnel::support
