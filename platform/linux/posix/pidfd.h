// Process file descriptors: a handle on one process that a reused process id never redirects.
// Newer than Debian 12's headers, so the kernel's numbers are given here.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>

#include "platform/linux/posix/unique_fd.h"

#ifndef SO_PASSPIDFD
#define SO_PASSPIDFD 76  // Linux 6.5
#endif
#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77  // Linux 6.5
#endif
#ifndef SCM_PIDFD
#define SCM_PIDFD 0x04  // Linux 6.5
#endif

namespace tarnel::linux_platform {

// A pidfd of the running process `pid`; an invalid one when there is no such process.
UniqueFd openPidfd(pid_t pid);

// The pidfd of the process that was at the other end of the Unix socket `socketFd` when it
// connected; an invalid one where the kernel offers none.
UniqueFd peerPidfd(int socketFd);

// Whether the process behind `pidfd` is still running.
bool pidfdProcessAlive(int pidfd);

// A number that names the process behind `pidfd` alone, for the life of the system, where the
// kernel's pidfds live on their own file system (pidfs, Linux 6.9); nothing elsewhere.
std::optional<std::uint64_t> pidfdProcessIdentity(int pidfd);

}  // namespace tarnel::linux_platform
