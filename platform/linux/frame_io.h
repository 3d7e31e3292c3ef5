// Frames on a Unix stream socket: a 4-byte big-endian length N, 1 <= N <= 16 MiB, then exactly N
// bytes. Shared by the helper's transport and the authorization server's protocol.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "model/value.h"

namespace tarnel::linux_platform {

inline constexpr std::uint32_t kMaximumFrameLength = 16 * 1024 * 1024;

// The process that sent bytes, as the kernel attached it to them (SO_PASSCRED).
struct SenderCredentials {
  pid_t processId = 0;
  uid_t userId = 0;
  gid_t groupId = 0;
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
  failed,       // the socket failed
};

// Reads exactly one frame from `socketFd`, never more than the limit; SO_PASSCRED must be on
// for the senders to be known.
std::expected<ReceivedFrame, FrameReadError> readFrame(int socketFd);

// Writes one whole frame; never raises SIGPIPE. False when the peer has gone.
bool writeFrame(int socketFd, std::span<const std::uint8_t> payload);

}  // namespace tarnel::linux_platform
