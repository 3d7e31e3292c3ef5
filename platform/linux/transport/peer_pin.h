// The one process that a connection serves: the peer that connected and whose audit token was
// validated, held for the life of the connection. Every message must come from it, and it must
// still be what was validated: the same image (no exec since), not open to other processes of
// its user, not traced. A message from any other process, such as a child that inherited the
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

class PeerPin {
 public:
  // Pins the process at the other end of the connected socket `socketFd`, whose audit token is
  // `token` (nothing when the peer had gone already, which admits nobody), and holds the image it
  // runs now, before anything judges it, so that an exec after that is seen.
  PeerPin(int socketFd, std::optional<AuditToken> token);

  const std::optional<AuditToken>& token() const { return token_; }

  // Whether every sender of a message is the pinned process itself (sentOnlyBy).
  bool admits(const std::vector<SenderCredentials>& senders) const;

  // Why the pinned process can no longer be trusted with the connection, in words for the log:
  // it has called exec or ended, other processes of its user may now attach to it or write into
  // its memory, or it is traced. Nothing while it is still what was validated.
  std::optional<std::string> breach() const;

 private:
  std::optional<AuditToken> token_;
  std::optional<ProcessHandle> process_;
  std::optional<ProcessImage> image_;
  std::optional<std::uint64_t> identity_;
};

}  // namespace tarnel::linux_platform
