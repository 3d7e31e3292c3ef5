// One process, named so that a process id the system has since given to another process is never
// taken for it: the one type by which the servers name their peers, authorityd the creator of an
// authorization, and launchctl a job's run.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

struct ProcessIdentity {
  pid_t pid = 0;
  // Field 22 of /proc/PID/stat: clock ticks since boot at which the process started.
  std::uint64_t startTime = 0;
  // The process itself where the kernel names processes by pidfds of their own (pidfs): two
  // equal identities are one process, however its id was reused.
  std::optional<std::uint64_t> pidfsIdentity;

  bool operator==(const ProcessIdentity&) const = default;
};

// The identity of process `pid` as it is now, ended or not; nothing when there is no such process.
std::optional<ProcessIdentity> identifyProcess(pid_t pid);

// True while `process` exists, ended or not.
bool isPresent(const ProcessIdentity& process);

// True while `process` exists and has not ended (an ended process not yet reaped has ended).
bool isRunning(const ProcessIdentity& process);

// The process at the other end of a connected Unix socket, as the kernel recorded it when the
// peer connected, with a pidfd that holds that very process.
struct ConnectedPeer {
  ucred credentials{};
  ProcessIdentity process;
  UniqueFd pidfd;
};

// The peer of `socketFd`: its credentials (SO_PEERCRED), and its start time read while a pidfd
// held the process that connected (the connection's own where the kernel gives one, else one
// opened now, which the start time then confirms). Reads /proc: never on an accept loop. Nothing
// when the peer has gone already.
std::optional<ConnectedPeer> connectedPeer(int socketFd);

}  // namespace tarnel::linux_platform
