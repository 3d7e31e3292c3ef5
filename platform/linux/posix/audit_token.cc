#include "platform/linux/posix/audit_token.h"

#include <sys/socket.h>

#include <string>

#include "platform/linux/posix/file_reading.h"
#include "platform/linux/posix/number_parsing.h"
#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/process_status.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/posix/unix_socket.h"

namespace tarnel::linux_platform {

namespace {

constexpr std::size_t kMaxLoginUidLength = 64;

std::optional<std::uint32_t> auditUser(pid_t pid) {
  const auto text = readSmallFile("/proc/" + std::to_string(pid) + "/loginuid", kMaxLoginUidLength);
  // Without kernel auditing there is no login user: the platform's "unset" value.
  if (!text) return UINT32_MAX;
  return parseNumber<std::uint32_t>(*text);
}

}  // namespace

Bytes AuditToken::encode() const {
  const std::uint32_t words[] = {auditUser, effectiveUser, effectiveGroup, realUser,
                                 realGroup, processId,     sessionId,      processVersion};
  static_assert(sizeof words == kAuditTokenLength);
  Bytes bytes;
  bytes.reserve(kAuditTokenLength);
  for (const auto word : words) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back((word >> shift) & 0xff);
  }
  return bytes;
}

std::optional<AuditToken> AuditToken::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kAuditTokenLength) return std::nullopt;
  std::uint32_t words[8] = {};
  for (std::size_t i = 0; i < kAuditTokenLength; ++i) {
    words[i / 4] |= static_cast<std::uint32_t>(bytes[i]) << (8 * (i % 4));
  }
  return AuditToken{words[0], words[1], words[2], words[3], words[4], words[5], words[6], words[7]};
}

std::optional<std::uint32_t> processVersion(pid_t pid) {
  const auto startTime = processStartTime(pid);
  if (!startTime) return std::nullopt;
  return static_cast<std::uint32_t>(*startTime);
}

std::optional<AuditToken> peerAuditToken(int socketFd) {
  const auto peer = peerCredentials(socketFd);
  if (!peer) return std::nullopt;
  const ucred& credentials = *peer;
  // The pidfd names the very process that connected; while it is alive its process id cannot
  // have passed to another process, so what /proc says below is about the peer itself.
  const UniqueFd pidfd = peerPidfd(socketFd);

  const pid_t pid = credentials.pid;
  const auto stat = readProcessStat(pid);
  const auto status = readProcessStatus(pid);
  if (!stat || !status) return std::nullopt;
  const auto realUser = status->firstNumber("Uid");
  const auto realGroup = status->firstNumber("Gid");
  const auto audit = auditUser(pid);
  if (!realUser || !realGroup || !audit) return std::nullopt;
  if (pidfd && !pidfdProcessAlive(pidfd.get())) return std::nullopt;

  return AuditToken{
      .auditUser = *audit,
      .effectiveUser = credentials.uid,
      .effectiveGroup = credentials.gid,
      .realUser = *realUser,
      .realGroup = *realGroup,
      .processId = static_cast<std::uint32_t>(pid),
      .sessionId = static_cast<std::uint32_t>(stat->session),
      .processVersion = static_cast<std::uint32_t>(stat->startTime),
  };
}

}  // namespace tarnel::linux_platform
