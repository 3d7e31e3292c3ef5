// Frames on a Unix stream socket: a 4-byte big-endian length N, 1 <= N <= 16 MiB, then exactly N
// bytes. Shared by the helper's transport and the authorization server's protocol.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "model/value.h"

namespace tarnel::linux_platform {

inline constexpr std::uint32_t kMaximumFrameLength = 16 * 1024 * 1024;

// The process that sent bytes, as the kernel attached it to them (SO_PASSCRED, and SO_PASSPIDFD
// where the kernel has it).
struct SenderCredentials {
  pid_t processId = 0;  // 0 when the kernel attached no credentials
  uid_t userId = 0;
  gid_t groupId = 0;
  // The sending process itself, where the kernel names processes by pidfds with inode numbers of
  // their own (pidfs): two equal identities are one process, however its id was reused.
  std::optional<std::uint64_t> processIdentity;
  bool operator==(const SenderCredentials&) const = default;
};

struct ReceivedFrame {
  Bytes payload;
  // One entry per sender seen among the frame's bytes; a frame whose bytes came from two
  // processes lists both.
  std::vector<SenderCredentials> senders;
};

enum class FrameReadError {
  endOfStream,  // the peer closed the connection before a frame began
  badLength,    // a length of 0 or above the limit
  truncated,    // the peer closed the connection inside a frame
  failed,       // the socket failed; errno, as readFrame returns, says how
};

// Asks the kernel to attach the sender's credentials (and pidfd, where it can) to every message
// that arrives on `socketFd`. False when the socket refused.
bool receiveSenderCredentials(int socketFd);

// Reads exactly one frame from the blocking socket `socketFd`, never more than the limit, and
// allocates only as bytes arrive. receiveSenderCredentials must be on for the senders to be known.
// Descriptors a peer attaches are closed unread.
std::expected<ReceivedFrame, FrameReadError> readFrame(int socketFd);

// Writes one whole frame; never raises SIGPIPE. False when the peer has gone, or when `payload`
// is empty or above the limit.
bool writeFrame(int socketFd, std::span<const std::uint8_t> payload);

}  // namespace tarnel::linux_platform
