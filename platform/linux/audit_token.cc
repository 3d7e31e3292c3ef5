#include "platform/linux/audit_token.h"

#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <charconv>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/file_reading.h"
#include "platform/linux/unique_fd.h"

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77  // Linux 6.5; newer than Debian 12's headers
#endif

namespace tarnel::linux_platform {

namespace {

// The /proc files read here are a few hundred bytes; opened close-on-exec, so that a child that
// another thread starts meanwhile inherits none of them.
constexpr std::size_t kMaxProcFileLength = 64 * 1024;

std::optional<std::string> readProcFile(const std::string& path) {
  return readSmallFile(path, kMaxProcFileLength);
}

template <class Number>
std::optional<Number> parseNumber(std::string_view text) {
  Number number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// The fields of /proc/PID/stat that follow the command name, which may itself hold blanks and
// parentheses; the first of them is field 3.
std::optional<std::vector<std::string>> statFieldsAfterName(pid_t pid) {
  const auto stat = readProcFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  const auto nameEnd = stat->rfind(')');
  if (nameEnd == std::string::npos) return std::nullopt;
  std::istringstream rest(stat->substr(nameEnd + 1));
  std::vector<std::string> fields;
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

constexpr std::size_t kFieldIndex(std::size_t field) { return field - 3; }

// The real user or group of a process: the first number of its "Uid:" or "Gid:" status line.
std::optional<std::uint32_t> realId(const std::string& status, std::string_view key) {
  std::istringstream lines(status);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with(key)) continue;
    std::istringstream values(line.substr(key.size()));
    std::uint32_t real = 0;
    if (values >> real) return real;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> auditUser(pid_t pid) {
  const auto text = readProcFile("/proc/" + std::to_string(pid) + "/loginuid");
  // Without kernel auditing there is no login user: the platform's "unset" value.
  if (!text) return UINT32_MAX;
  return parseNumber<std::uint32_t>(*text);
}

}  // namespace

Bytes AuditToken::encode() const {
  const std::uint32_t words[] = {auditUser, effectiveUser, effectiveGroup, realUser,
                                 realGroup, processId,     sessionId,      processVersion};
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
  return AuditToken{words[0], words[1], words[2], words[3],
                    words[4], words[5], words[6], words[7]};
}

std::optional<std::uint64_t> processStartTime(pid_t pid) {
  const auto fields = statFieldsAfterName(pid);
  if (!fields || fields->size() <= kFieldIndex(22)) return std::nullopt;
  // A zombie keeps its process id and start time until it is reaped, yet it has exited.
  const std::string& state = (*fields)[kFieldIndex(3)];
  if (state == "Z" || state == "X") return std::nullopt;
  return parseNumber<std::uint64_t>((*fields)[kFieldIndex(22)]);
}

std::optional<std::uint32_t> processVersion(pid_t pid) {
  const auto startTime = processStartTime(pid);
  if (!startTime) return std::nullopt;
  return static_cast<std::uint32_t>(*startTime);
}

std::optional<AuditToken> peerAuditToken(int socketFd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
      credentials.pid <= 0) {
    return std::nullopt;
  }
  // The pidfd names the very process that connected; while it is alive its process id cannot
  // have passed to another process, so what /proc says below is about the peer itself.
  int rawPidfd = -1;
  length = sizeof rawPidfd;
  UniqueFd pidfd;
  if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERPIDFD, &rawPidfd, &length) == 0) {
    pidfd.reset(rawPidfd);
  }

  const pid_t pid = credentials.pid;
  const auto fields = statFieldsAfterName(pid);
  const auto status = readProcFile("/proc/" + std::to_string(pid) + "/status");
  if (!fields || fields->size() <= kFieldIndex(22) || !status) return std::nullopt;
  const auto session = parseNumber<std::int64_t>((*fields)[kFieldIndex(6)]);
  const auto startTime = parseNumber<std::uint64_t>((*fields)[kFieldIndex(22)]);
  const auto realUser = realId(*status, "Uid:");
  const auto realGroup = realId(*status, "Gid:");
  const auto audit = auditUser(pid);
  if (!session || !startTime || !realUser || !realGroup || !audit) return std::nullopt;

  // Debian 12's <sys/pidfd.h> declares its functions without C linkage, hence the raw call.
  if (pidfd && ::syscall(SYS_pidfd_send_signal, pidfd.get(), 0, nullptr, 0) != 0) {
    return std::nullopt;
  }

  return AuditToken{
      .auditUser = *audit,
      .effectiveUser = credentials.uid,
      .effectiveGroup = credentials.gid,
      .realUser = *realUser,
      .realGroup = *realGroup,
      .processId = static_cast<std::uint32_t>(pid),
      .sessionId = static_cast<std::uint32_t>(*session),
      .processVersion = static_cast<std::uint32_t>(*startTime),
  };
}

}  // namespace tarnel::linux_platform
