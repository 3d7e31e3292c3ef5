// The peer identity that a connection carries: a 32-byte audit token of eight little-endian
// 32-bit words in the platform's order. On Linux the process version is the low 32 bits of the
// process's start time, which tells a reused process id from the original.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>

#include "model/value.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

struct AuditToken {
  std::uint32_t auditUser = 0;
  std::uint32_t effectiveUser = 0;
  std::uint32_t effectiveGroup = 0;
  std::uint32_t realUser = 0;
  std::uint32_t realGroup = 0;
  std::uint32_t processId = 0;
  std::uint32_t sessionId = 0;
  std::uint32_t processVersion = 0;

  Bytes encode() const;
  // Nothing unless `bytes` holds exactly 32 bytes.
  static std::optional<AuditToken> decode(std::span<const std::uint8_t> bytes);

  bool operator==(const AuditToken&) const = default;
};

// The low 32 bits of processStartTime: the process version of an audit token.
std::optional<std::uint32_t> processVersion(pid_t pid);

// The audit token of the process at the other end of the connected Unix socket `socketFd`, as the
// kernel recorded it when the peer connected (SO_PEERCRED; the start time through the peer's
// pidfd where the kernel offers SO_PEERPIDFD, so that a peer that has gone and whose process id
// was reused is never taken for another process). Nothing when the peer has already gone.
std::optional<AuditToken> peerAuditToken(int socketFd);

}  // namespace tarnel::linux_platform
