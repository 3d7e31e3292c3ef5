// The one process that a connection serves: the peer that connected and whose audit token was
// validated, held for the life of the connection. Every message must come from it, and it must
// still be what its sealed start made it: the same image (no exec since), not open to other
// processes of its user. A message from any other process, such as a child that inherited the
// socket, or from a process no longer so, breaks the pin.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/process_handle.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

// How a pin finds the process that connected. The transport asks for the socket's own pidfd,
// which names that very process, where the kernel gives one (Linux 6.5); elsewhere, and always
// with the second, the process that the token's id names now, which must hold the peer's end of
// the socket (posix/socket_holder.h). The second exists so that tests reach that path on any
// kernel.
enum class PeerLookup { socketPidfdWhereOffered, processHoldingThePeerSocket };

class PeerPin {
 public:
  // Pins the process at the other end of the connected socket `socketFd`, whose audit token is
  // `token` (nothing when the peer had gone already, which admits nobody), found as `lookup`
  // says, and holds the image it runs now, before anything judges it, so that an exec after that
  // is seen. Nothing is pinned, and nobody admitted, when that process cannot be found.
  PeerPin(int socketFd, std::optional<AuditToken> token,
          PeerLookup lookup = PeerLookup::socketPidfdWhereOffered);

  const std::optional<AuditToken>& token() const { return token_; }

  // Whether every sender of a message is the pinned process itself (sentOnlyBy).
  bool admits(const std::vector<SenderCredentials>& senders) const;

  // Why the pinned process can no longer be trusted with the connection, in words for the log:
  // it has called exec or ended, or other processes of its user may now attach to it or write
  // into its memory. Nothing while it is still what was validated. Two system calls, neither of
  // which can wait on the process.
  std::optional<std::string> breach() const;

 private:
  std::optional<AuditToken> token_;
  std::optional<ProcessHandle> process_;
  std::optional<ProcessImage> image_;
  std::optional<std::uint64_t> identity_;
};

}  // namespace tarnel::linux_platform
