// The one process that a connection serves: the peer that connected and whose audit token was
// validated. Every message must come from it; a message from any other process, such as a child
// that inherited the socket, breaks the pin.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

class PeerPin {
 public:
  // Pins the process at the other end of the connected socket `socketFd`, whose audit token is
  // `token` (nothing when the peer had gone already, which admits nobody).
  PeerPin(int socketFd, std::optional<AuditToken> token);

  const std::optional<AuditToken>& token() const { return token_; }

  // Whether every sender of a message is the pinned process itself: the same process id, and the
  // same process by its pidfd where the kernel names processes (a reused id never passes), by
  // the pinned process still living where it only gives pidfds, or else by its start time.
  bool admits(const std::vector<SenderCredentials>& senders) const;

 private:
  bool isPinnedProcess(const SenderCredentials& sender) const;

  std::optional<AuditToken> token_;
  UniqueFd pidfd_;
  std::optional<std::uint64_t> identity_;
};

}  // namespace tarnel::linux_platform
