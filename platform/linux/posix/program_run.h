// Running a program and waiting for it, with one policy for what the child inherits: its standard
// streams as the caller says, every signal at its default action and none blocked, and no other
// descriptor of this process, whether or not whoever opened it asked for close-on-exec. A program
// run for us then cannot hold a socket, a lock or a pipe end of ours open past its purpose, nor
// write into one.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace tarnel::linux_platform {

// Where one of a child's standard streams leads.
struct ChildStream {
  enum class Kind {
    inherited,   // this process's own stream of the same number (the default)
    nullDevice,  // /dev/null, for reading and writing
    copyOf,      // a copy of `descriptor` of this process
  };
  Kind kind = Kind::inherited;
  int descriptor = -1;

  static ChildStream nullDevice() { return {Kind::nullDevice}; }
  static ChildStream copyOf(int descriptor) { return {Kind::copyOf, descriptor}; }
};

// The child's standard input, output and errors. The copies are made in that order, so a stream
// copied from a standard stream gets what an earlier one was set to.
struct ChildStreams {
  ChildStream input;
  ChildStream output;
  ChildStream errors;
};

// Why a program could not be run or waited for.
struct RunError {
  enum class Kind {
    cannotPrepare,  // its streams or attributes could not be set up (/dev/null, the file actions)
    cannotStart,    // posix_spawn refused it, with `systemError`
    cannotWait,     // its end could not be had (somebody else reaped it)
  };
  Kind kind;
  int systemError = 0;
};

// Starts `program` with the argument vector `arguments` (argv[0] first) under the policy above,
// without waiting for it: the child's id, which the caller must reap.
std::expected<pid_t, RunError> startProgram(const std::string& program,
                                            const std::vector<std::string>& arguments,
                                            const ChildStreams& streams = {});

// The exit status in a wait status of a child that exited; nothing when a signal ended it.
std::optional<int> exitStatusOf(int waitStatus);

// Runs `program` as startProgram does and waits for it: its wait status, as waitpid gives it.
std::expected<int, RunError> runAndWait(const std::string& program,
                                        const std::vector<std::string>& arguments,
                                        const ChildStreams& streams = {});

struct CapturedRun {
  int waitStatus;      // as waitpid gives it
  std::string output;  // its standard output, up to the limit
};

// Runs `program` as runAndWait does, its standard output read through a pipe (whatever `streams`
// says of it) up to `limit` bytes; the pipe is then closed, so a child that prints more meets a
// closed pipe and ends. A read that fails leaves the output empty.
std::expected<CapturedRun, RunError> runCapturingOutput(const std::string& program,
                                                        const std::vector<std::string>& arguments,
                                                        ChildStreams streams, std::size_t limit);

}  // namespace tarnel::linux_platform
