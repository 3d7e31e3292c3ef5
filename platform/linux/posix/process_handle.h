// One running process, held so that what is asked of it later is about that very process: a
// pidfd, which no reuse of its id redirects, and its /proc directory, opened while the pidfd showed
// it running. How the kernel started it, what it lets other processes of its user do to it
// (attach, read or write its memory), its namespaces, filters and tracers are read through that
// directory when asked. Nothing here reads the process's own memory, which a process can make
// block for as long as it likes (its code on a file system that never answers).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

// The memory image that a process ran when it was captured, held through /proc/PID/mem. An exec
// replaces a process's image, and a handle on the old one then reads nothing: the Linux form of a
// process version that changes at exec.
class ProcessImage {
 public:
  // Whether the process still runs the captured image: it has not called exec since, nor ended.
  // One read, of an address that no process can ever map: a live image answers it with an error
  // at once, a replaced or ended one with the end of the file; no page of the process is touched.
  bool unchanged() const;

 private:
  friend class ProcessHandle;
  explicit ProcessImage(UniqueFd memory) : memory_(std::move(memory)) {}

  UniqueFd memory_;
};

class ProcessHandle {
 public:
  // The running process `pid`; nothing when there is none.
  static std::optional<ProcessHandle> open(pid_t pid);
  // The running process `pid` that `pidfd` names; nothing when it has ended.
  static std::optional<ProcessHandle> adopt(UniqueFd pidfd, pid_t pid);

  int pidfd() const { return pidfd_.get(); }

  // Whether the process still runs (an ended process that awaits its parent does not).
  bool running() const;

  // The image it runs now; nothing when it cannot be held (it has gone, or this process may not
  // trace it: only root, or a process of its user while it is dumpable, may).
  std::optional<ProcessImage> captureImage() const;

  // Whether other processes of its user may attach to it or read and write its memory: its
  // dumpable attribute is set (the kernel then gives its /proc files its user, else root). A
  // process of root's is never open to anyone but root. Nothing when it cannot be told.
  std::optional<bool> openToItsUser() const;

  // Whether the kernel started its program in secure execution (AT_SECURE in its auxiliary
  // vector, which the process cannot change): its set-group-id took effect, so the loader ignored
  // every LD_* variable and the process was never open to its user. Nothing when it cannot be
  // told.
  std::optional<bool> startedSecurely() const;

  // Whether it lives in this process's user and pid namespaces, where the ids it presents mean
  // what they mean here. Nothing when it cannot be told.
  std::optional<bool> sharesOurNamespaces() const;

  // Whether a seccomp filter (or strict mode) constrains it, which can make the system lie to
  // it. Nothing when it cannot be told.
  std::optional<bool> filtered() const;

  // Whether any of its threads has a tracer: each thread can be traced on its own. Nothing when it
  // cannot be told (it has gone, or has more threads than are inspected). Not for two threads at
  // once: it reads the held list of threads from its start.
  std::optional<bool> traced() const;

 private:
  ProcessHandle(pid_t pid, UniqueFd pidfd, UniqueFd directory, UniqueFd tasks, UniqueFd status)
      : pid_(pid),
        pidfd_(std::move(pidfd)),
        directory_(std::move(directory)),
        tasks_(std::move(tasks)),
        status_(std::move(status)) {}

  pid_t pid_;
  UniqueFd pidfd_;
  UniqueFd directory_;
  // Held, so that checking the threads again and again opens nothing: the list of threads, read
  // again from its start, and the main thread's status, read again from its start.
  UniqueFd tasks_;
  UniqueFd status_;
};

}  // namespace tarnel::linux_platform
