#include "platform/linux/wire/frame_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

constexpr std::size_t kHeaderLength = 4;
// Bytes asked of the kernel at a time, so that a frame's buffer grows only as its bytes arrive.
constexpr std::size_t kReadChunk = 64 * 1024;
// Room for the credentials, a pidfd and a few descriptors a peer might push at us: whatever does
// not fit is closed by the kernel and the read is failed.
constexpr std::size_t kControlLength =
    CMSG_SPACE(sizeof(ucred)) + CMSG_SPACE(sizeof(int)) + CMSG_SPACE(16 * sizeof(int));

enum class ChunkStatus { data, endOfStream, failed };

struct Chunk {
  ChunkStatus status = ChunkStatus::failed;
  std::size_t length = 0;
  SenderCredentials sender;
};

// Takes what the kernel attached to one read: the sender's credentials and pidfd, kept; any
// descriptor, closed.
void takeControl(msghdr& message, SenderCredentials& sender) {
  for (auto* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET) continue;
    const auto dataLength = header->cmsg_len - CMSG_LEN(0);
    if (header->cmsg_type == SCM_CREDENTIALS && dataLength >= sizeof(ucred)) {
      ucred credentials{};
      std::memcpy(&credentials, CMSG_DATA(header), sizeof credentials);
      sender.processId = credentials.pid;
      sender.userId = credentials.uid;
      sender.groupId = credentials.gid;
    } else if (header->cmsg_type == SCM_PIDFD || header->cmsg_type == SCM_RIGHTS) {
      for (std::size_t at = 0; at + sizeof(int) <= dataLength; at += sizeof(int)) {
        int raw = -1;
        std::memcpy(&raw, CMSG_DATA(header) + at, sizeof raw);
        UniqueFd descriptor(raw);
        if (header->cmsg_type == SCM_PIDFD) {
          sender.processIdentity = pidfdProcessIdentity(descriptor.get());
        }
      }
    }
  }
}

// One read: into `into`, then into `ahead` when there is room ahead. The kernel fills the first
// before the second.
Chunk readChunk(int socketFd, std::span<std::uint8_t> into, std::span<std::uint8_t> ahead) {
  alignas(cmsghdr) std::array<char, kControlLength> control{};
  std::array<iovec, 2> vectors{{{.iov_base = into.data(), .iov_len = into.size()},
                                {.iov_base = ahead.data(), .iov_len = ahead.size()}}};
  msghdr message{};
  message.msg_iov = vectors.data();
  message.msg_iovlen = ahead.empty() ? 1 : 2;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  const auto received = receiveSome(socketFd, message, MSG_CMSG_CLOEXEC);
  if (!received) return Chunk{.status = ChunkStatus::failed};
  Chunk chunk;
  takeControl(message, chunk.sender);
  if ((message.msg_flags & MSG_CTRUNC) != 0) return Chunk{.status = ChunkStatus::failed};
  if (*received == 0) return Chunk{.status = ChunkStatus::endOfStream};
  chunk.status = ChunkStatus::data;
  chunk.length = *received;
  return chunk;
}

// Whether bytes are there to read (or the connection has ended) before `deadline`.
bool waitForBytes(int socketFd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd waiting{.fd = socketFd, .events = POLLIN, .revents = 0};
    const int ready =
        ::poll(&waiting, 1, static_cast<int>(std::min<std::int64_t>(left.count(), INT32_MAX)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // the read that follows says what failed
  }
}

void noteSender(std::vector<SenderCredentials>& senders, const SenderCredentials& sender) {
  if (std::find(senders.begin(), senders.end(), sender) == senders.end()) {
    senders.push_back(sender);
  }
}

}  // namespace

bool receiveSenderCredentials(int socketFd, SenderPidfds pidfds) {
  const int on = 1;
  if (::setsockopt(socketFd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) return false;
  if (pidfds == SenderPidfds::notAttached) return true;
  // Older kernels lack it; the credentials alone still name the sender.
  if (::setsockopt(socketFd, SOL_SOCKET, SO_PASSPIDFD, &on, sizeof on) != 0 &&
      errno != ENOPROTOOPT) {
    return false;
  }
  return true;
}

FrameReader::FrameReader(int socketFd, Options options)
    : socket_(socketFd), options_(std::move(options)), ahead_(options_.lookahead) {}

std::size_t FrameReader::takeAhead(std::span<std::uint8_t> into, ReceivedFrame& frame) {
  const auto taken = std::min(into.size(), aheadEnd_ - aheadBegin_);
  if (taken == 0) return 0;
  std::memcpy(into.data(), ahead_.data() + aheadBegin_, taken);
  aheadBegin_ += taken;
  noteSender(frame.senders, aheadSender_);
  return taken;
}

std::expected<std::size_t, FrameReadError> FrameReader::readInto(
    std::span<std::uint8_t> into, ReceivedFrame& frame,
    std::optional<std::chrono::steady_clock::time_point> deadline, bool insideFrame) {
  if (const auto taken = takeAhead(into, frame); taken > 0) return taken;
  if (deadline && !waitForBytes(socket_, *deadline)) {
    return std::unexpected(FrameReadError::tooSlow);
  }
  // Nothing is kept ahead now: the whole room is free for what follows `into`.
  const auto chunk = readChunk(socket_, into, ahead_);
  if (chunk.status == ChunkStatus::failed) return std::unexpected(FrameReadError::failed);
  if (chunk.status == ChunkStatus::endOfStream) {
    return std::unexpected(insideFrame ? FrameReadError::truncated : FrameReadError::endOfStream);
  }
  noteSender(frame.senders, chunk.sender);
  const auto filled = std::min(chunk.length, into.size());
  aheadBegin_ = 0;
  aheadEnd_ = chunk.length - filled;
  aheadSender_ = chunk.sender;
  return filled;
}

std::expected<ReceivedFrame, FrameReadError> FrameReader::next() {
  using Clock = std::chrono::steady_clock;
  ReceivedFrame frame;
  std::array<std::uint8_t, kHeaderLength> header{};
  std::optional<Clock::time_point> deadline;
  for (std::size_t have = 0; have < header.size();) {
    const auto read = readInto(std::span(header).subspan(have), frame, deadline, have > 0);
    if (!read) return std::unexpected(read.error());
    // The frame has begun: from now on its bytes are due within the limit.
    if (have == 0 && options_.frameTimeLimit) deadline = Clock::now() + *options_.frameTimeLimit;
    have += *read;
  }
  const std::uint32_t length = (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
                               (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
  if (length == 0 || length > kMaximumFrameLength) {
    return std::unexpected(FrameReadError::badLength);
  }
  if (options_.beforeBody) {
    const auto waitFrom = Clock::now();
    if (!options_.beforeBody(length)) return std::unexpected(FrameReadError::stopped);
    // Waiting for room is this side's doing, not the peer's.
    if (deadline) *deadline += Clock::now() - waitFrom;
  }
  for (std::size_t have = 0; have < length;) {
    const auto want = std::min<std::size_t>(kReadChunk, length - have);
    frame.payload.resize(have + want);
    const auto read = readInto(std::span(frame.payload).subspan(have, want), frame, deadline, true);
    if (!read) return std::unexpected(read.error());
    have += *read;
    frame.payload.resize(have);
  }
  return frame;
}

std::expected<ReceivedFrame, FrameReadError> readFrame(int socketFd) {
  return FrameReader(socketFd, FrameReader::Options{.lookahead = 0}).next();
}

bool writeFrame(int socketFd, std::span<const std::uint8_t> payload) {
  if (payload.empty() || payload.size() > kMaximumFrameLength) return false;
  const auto length = static_cast<std::uint32_t>(payload.size());
  std::array<std::uint8_t, kHeaderLength> header = {
      static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
      static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  // Header and payload in one call where the socket takes it, so the peer sees one message.
  const std::span<const std::uint8_t> pieces[] = {header, payload};
  return sendAll(socketFd, pieces).has_value();
}

}  // namespace tarnel::linux_platform
