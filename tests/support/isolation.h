// The one way a test or a benchmark starts a program isolated from the host: in a child, after
// the fork and before the exec, a mount namespace of its own in which files of the host are
// replaced for that child alone, and the listening socket passed as the service manager passes
// it. Only system calls run here (the child of a threaded process may do nothing else), so it
// uses no test framework and a benchmark may include it too.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace tarnel::support {

// One change to the child's view of the file system, made in order.
struct MountStep {
  enum class Kind {
    bind,     // `source` (a file or a folder) is laid over `target`
    overlay,  // an overlay on `target`; `source` holds its options ("lowerdir=...")
    tmpfs,    // an empty tmpfs on `target`; `source` holds its options
    folder,   // `target` is made, mode 0755, if it is not there
  } kind;
  std::string target;
  std::string source;
  unsigned long flags = 0;  // MS_RDONLY and the like
};

// What isolate() did: every step, or where it stopped.
struct Isolation {
  enum class Failure { none, namespace_, privateMounts, step } failure = Failure::none;
  std::size_t step = 0;  // with Failure::step, the index of the step that failed
  explicit operator bool() const { return failure == Failure::none; }
};

// Makes a mount namespace of its own for the calling process, whose mounts do not reach the
// host's, and makes each of `steps` in it.
inline Isolation isolate(const std::vector<MountStep>& steps) {
  if (::unshare(CLONE_NEWNS) != 0) return {Isolation::Failure::namespace_};
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return {Isolation::Failure::privateMounts};
  }
  for (std::size_t index = 0; index < steps.size(); ++index) {
    const auto& step = steps[index];
    const char* target = step.target.c_str();
    bool done = false;
    switch (step.kind) {
      case MountStep::Kind::bind:
        done = ::mount(step.source.c_str(), target, nullptr, MS_BIND | step.flags, nullptr) == 0;
        break;
      case MountStep::Kind::overlay:
        done = ::mount("overlay", target, "overlay", step.flags, step.source.c_str()) == 0;
        break;
      case MountStep::Kind::tmpfs:
        done = ::mount("tmpfs", target, "tmpfs", step.flags, step.source.c_str()) == 0;
        break;
      case MountStep::Kind::folder:
        done = ::mkdir(target, 0755) == 0 || errno == EEXIST;
        break;
    }
    if (!done) return {Isolation::Failure::step, index};
  }
  return {};
}

// Passes `socket` as the service manager passes a listening socket: as descriptor 3, with the
// caller's process id written at `listenPid`, the digits of a "LISTEN_PID=" entry of the
// environment that the exec will pass (room for ten digits and the end). False when it cannot.
inline bool passActivatedSocket(int socket, char* listenPid) {
  char reversed[16];
  int length = 0;
  for (pid_t pid = ::getpid(); pid > 0; pid /= 10)
    reversed[length++] = static_cast<char>('0' + pid % 10);
  while (length > 0) *listenPid++ = reversed[--length];
  *listenPid = '\0';
  // dup2 onto itself would leave the descriptor close-on-exec.
  return (socket == 3 ? ::fcntl(3, F_SETFD, 0) : ::dup2(socket, 3)) >= 0;
}

}  // namespace tarnel::support
