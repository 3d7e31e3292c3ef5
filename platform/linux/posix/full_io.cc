#include "platform/linux/posix/full_io.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace tarnel::linux_platform {

namespace {

// Reads grow the text by this much at a time, so that a limit far above the stream's length costs
// nothing.
constexpr std::size_t kReadChunk = 64 * 1024;

// Calls `call` until it answers other than with EINTR: its count, or the error number.
template <class Call>
std::expected<std::size_t, int> retried(Call call) {
  for (;;) {
    const ssize_t count = call();
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return std::unexpected(errno);
  }
}

// Hands every byte of `vectors` to `transfer` (which writes some of the vectors it is given and
// answers how many bytes it wrote), advancing past what was written each time. The vectors are the
// caller's, on its stack: a frame or a log line is written without an allocation of its own.
template <class Transfer>
std::expected<void, int> transferAll(std::span<iovec> vectors, Transfer transfer) {
  auto next = vectors.begin();
  for (;;) {
    while (next != vectors.end() && next->iov_len == 0) ++next;
    if (next == vectors.end()) return {};
    const auto count = retried([&] { return transfer(&*next, vectors.end() - next); });
    if (!count) return std::unexpected(count.error());
    if (*count == 0) return std::unexpected(EIO);
    std::size_t written = *count;
    while (next != vectors.end() && written >= next->iov_len) written -= (next++)->iov_len;
    if (written > 0) {
      next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + written;
      next->iov_len -= written;
    }
  }
}

std::expected<void, int> writeBytes(int fd, void* bytes, std::size_t length) {
  iovec vector{.iov_base = bytes, .iov_len = length};
  return transferAll(std::span(&vector, 1), [fd](const iovec* first, std::ptrdiff_t count) {
    return ::writev(fd, first, static_cast<int>(count));
  });
}

}  // namespace

std::expected<std::size_t, int> readSome(int fd, void* into, std::size_t length) {
  return retried([&] { return ::read(fd, into, length); });
}

std::expected<std::size_t, int> readSomeAt(int fd, void* into, std::size_t length,
                                           std::uint64_t offset) {
  return retried([&] { return ::pread(fd, into, length, static_cast<off_t>(offset)); });
}

std::expected<std::size_t, int> receiveSome(int fd, msghdr& message, int flags) {
  return retried([&] { return ::recvmsg(fd, &message, flags); });
}

std::expected<void, int> writeAll(int fd, std::string_view bytes) {
  return writeBytes(fd, const_cast<char*>(bytes.data()), bytes.size());
}

std::expected<void, int> writeAll(int fd, std::span<const std::uint8_t> bytes) {
  return writeBytes(fd, const_cast<std::uint8_t*>(bytes.data()), bytes.size());
}

std::expected<void, int> sendAll(int fd, std::span<const std::span<const std::uint8_t>> pieces) {
  std::array<iovec, kMaximumPieces> vectors{};
  if (pieces.size() > vectors.size()) return std::unexpected(EINVAL);
  for (std::size_t index = 0; index < pieces.size(); ++index) {
    vectors[index] = {.iov_base = const_cast<std::uint8_t*>(pieces[index].data()),
                      .iov_len = pieces[index].size()};
  }
  return transferAll(std::span(vectors).first(pieces.size()),
                     [fd](iovec* first, std::ptrdiff_t count) {
                       msghdr message{};
                       message.msg_iov = first;
                       message.msg_iovlen = static_cast<std::size_t>(count);
                       return ::sendmsg(fd, &message, MSG_NOSIGNAL);
                     });
}

std::expected<std::string, ReadAllError> readAll(int fd, std::size_t limit) {
  auto text = readUpTo(fd, limit);
  if (!text) return std::unexpected(ReadAllError{ReadAllError::Kind::failed, text.error()});
  if (text->size() < limit) return std::move(*text);
  // As many bytes as the limit: the stream is within it only if it ends there.
  char extra = 0;
  const auto count = readSome(fd, &extra, 1);
  if (!count) return std::unexpected(ReadAllError{ReadAllError::Kind::failed, count.error()});
  if (*count > 0) return std::unexpected(ReadAllError{ReadAllError::Kind::tooLarge});
  return std::move(*text);
}

std::expected<std::string, int> readUpTo(int fd, std::size_t limit) {
  std::string text;
  while (text.size() < limit) {
    const auto before = text.size();
    text.resize(before + std::min(kReadChunk, limit - before));
    const auto count = readSome(fd, text.data() + before, text.size() - before);
    text.resize(before + (count ? *count : 0));
    if (!count) return std::unexpected(count.error());
    if (*count == 0) break;
  }
  return text;
}

}  // namespace tarnel::linux_platform
