// Frames on a Unix stream socket: a 4-byte big-endian length N, 1 <= N <= 16 MiB, then exactly N
// bytes. Shared by the helper's transport and the authorization server's protocol.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
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
  tooSlow,      // the rest of a frame that had begun did not come within the time allowed
  stopped,      // beforeBody declined the frame
  failed,       // the socket failed; errno, as readFrame returns, says how
};

// Whether the kernel also makes a pidfd of the sender for every read: it names the sender where
// process ids could be reused, at the price of a descriptor made and closed per read.
enum class SenderPidfds { attached, notAttached };

// Asks the kernel to attach the sender's credentials (and pidfd, where it can and `pidfds` asks)
// to every message that arrives on `socketFd`. False when the socket refused.
bool receiveSenderCredentials(int socketFd, SenderPidfds pidfds = SenderPidfds::attached);

// The frames of one blocking socket, in order. Each is read never more than the limit, and
// allocated only as its bytes arrive. With room to look ahead, a frame that has arrived whole
// within that room is read with one system call (its length, its body and its sender's
// credentials together), and what arrived after it is kept for the next frame; bytes of two
// senders never share a read, so each byte keeps its sender. receiveSenderCredentials must be on
// for the senders to be known. Descriptors a peer attaches are closed unread.
class FrameReader {
 public:
  // Room to look ahead that holds any small message whole.
  static constexpr std::size_t kLookahead = 4096;

  struct Options {
    std::size_t lookahead = kLookahead;
    // How long the rest of a frame may take once its first byte has come, the time beforeBody
    // takes not counted; without it, as long as the peer likes. Between frames there is no limit.
    std::optional<std::chrono::milliseconds> frameTimeLimit;
    // Called with each frame's length before its body is read, so that the reader's owner may
    // set room aside for it first; false ends the read with FrameReadError::stopped.
    std::function<bool(std::uint32_t length)> beforeBody;
  };

  FrameReader(int socketFd, Options options);
  explicit FrameReader(int socketFd) : FrameReader(socketFd, Options{}) {}

  std::expected<ReceivedFrame, FrameReadError> next();

 private:
  // Reads into `into` (up to its size) and then into the room ahead; the bytes that went into
  // `into`, or how the read failed. Inside a frame it waits for bytes no longer than `deadline`.
  std::expected<std::size_t, FrameReadError> readInto(
      std::span<std::uint8_t> into, ReceivedFrame& frame,
      std::optional<std::chrono::steady_clock::time_point> deadline, bool insideFrame);
  // Takes up to `into.size()` bytes kept from an earlier read; how many it took.
  std::size_t takeAhead(std::span<std::uint8_t> into, ReceivedFrame& frame);

  int socket_;
  Options options_;
  Bytes ahead_;  // the room; [aheadBegin_, aheadEnd_) holds bytes not yet taken
  std::size_t aheadBegin_ = 0;
  std::size_t aheadEnd_ = 0;
  SenderCredentials aheadSender_;
};

// Reads exactly one frame from `socketFd` and nothing after it: for a socket read by nothing else.
std::expected<ReceivedFrame, FrameReadError> readFrame(int socketFd);

// Writes one whole frame; never raises SIGPIPE. False when the peer has gone, or when `payload`
// is empty or above the limit.
bool writeFrame(int socketFd, std::span<const std::uint8_t> payload);

}  // namespace tarnel::linux_platform
