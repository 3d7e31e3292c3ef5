// Reads and writes carried through: each call made again when a signal interrupts it, a write
// continued after a short count, a read of a whole stream bounded, so that no caller writes its
// own retry loop and nothing a peer sends can make a reader allocate without limit.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace tarnel::linux_platform {

// One read of at most `length` bytes from `fd` into `into`: the count read (0 at the end of the
// stream), or the error number.
std::expected<std::size_t, int> readSome(int fd, void* into, std::size_t length);

// The same at `offset` of the file, which the read leaves where it was (pread).
std::expected<std::size_t, int> readSomeAt(int fd, void* into, std::size_t length,
                                           std::uint64_t offset);

// One recvmsg on the socket `fd` with `flags`: the count received (0 at the end of the stream),
// or the error number.
std::expected<std::size_t, int> receiveSome(int fd, msghdr& message, int flags);

// Every byte of `bytes` written to `fd`, or the error number of the write that failed (EIO for a
// write that wrote nothing).
std::expected<void, int> writeAll(int fd, std::string_view bytes);
std::expected<void, int> writeAll(int fd, std::span<const std::uint8_t> bytes);

// Every byte of `pieces`, in order, sent on the socket `fd` without SIGPIPE (a peer that has gone
// is an error, EPIPE, not the end of this process): gathered into as few calls as the socket
// takes, so a reader sees one message wherever it can. The error number when a send fails, and
// EINVAL for more than kMaximumPieces pieces (a frame is two: its header and its payload).
inline constexpr std::size_t kMaximumPieces = 4;
std::expected<void, int> sendAll(int fd, std::span<const std::span<const std::uint8_t>> pieces);

// Why a whole stream could not be read.
struct ReadAllError {
  enum class Kind {
    failed,    // a read failed, with `systemError`
    tooLarge,  // more than the limit came
  };
  Kind kind;
  int systemError = 0;
};

// Everything `fd` gives until its end, when that is at most `limit` bytes. Reading stops at the
// first byte past the limit, so no more than that is ever held.
std::expected<std::string, ReadAllError> readAll(int fd, std::size_t limit);

// The first `limit` bytes `fd` gives, or all of them when it ends first; what comes after is left
// unread. The error number when a read fails.
std::expected<std::string, int> readUpTo(int fd, std::size_t limit);

}  // namespace tarnel::linux_platform
