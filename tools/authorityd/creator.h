// Who made an authorization: the process at the client end of the connection it was made on, as
// the kernel recorded it when the server accepted the connection, never as /proc says later.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace tarnel::authorityd {

struct Creator {
  uid_t user = 0;  // the effective user it connected as (SO_PEERCRED)
  pid_t processId = 0;
  // Clock ticks since boot at which it started: with its id, what polkit names a process by, and
  // what tells it from a later process given the same id.
  std::uint64_t startTime = 0;
  // The process itself where the kernel names processes by pidfds of their own (pidfs).
  std::optional<std::uint64_t> processIdentity;

  bool operator==(const Creator&) const = default;
};

// The process at the other end of the connected socket `socketFd`: its user and id from the
// connection's credentials, its start time read while the connection's pidfd held that very
// process. Nothing when it has gone already.
std::optional<Creator> connectedCreator(int socketFd);

// Whether `creator` still runs: its id still names a running process with its start time.
bool stillRuns(const Creator& creator);

}  // namespace tarnel::authorityd
