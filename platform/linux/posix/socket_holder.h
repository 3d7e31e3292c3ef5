// Which process holds the far end of a Unix socket connection. The kernel's socket diagnostics
// (NETLINK_SOCK_DIAG) name the socket at the other end of a connection by its inode, and a
// process's descriptors (/proc/PID/fd) name each socket they hold by its inode. Where the kernel
// gives no pidfd of a socket's peer, this ties the process id it recorded to the connection: the
// process that connected may have handed its socket on and ended, and its id gone to another.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace tarnel::linux_platform {

// The inode of the socket at the other end of the connected Unix socket `socketFd`; nothing when
// the kernel cannot tell (it has no socket diagnostics for Unix sockets) or there is no peer.
std::optional<std::uint32_t> peerSocketInode(int socketFd);

// Whether process `pid` holds the socket whose inode is `inode` among its descriptors; false when
// it cannot be told (it has gone, or holds more descriptors than are looked through).
bool processHoldsSocket(pid_t pid, std::uint32_t inode);

}  // namespace tarnel::linux_platform
