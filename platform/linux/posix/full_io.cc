#include "platform/linux/posix/full_io.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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
// answers how many bytes it wrote), dropping what was written from the front each time.
template <class Transfer>
std::expected<void, int> transferAll(std::vector<iovec> vectors, Transfer transfer) {
  std::erase_if(vectors, [](const iovec& vector) { return vector.iov_len == 0; });
  auto next = vectors.begin();
  while (next != vectors.end()) {
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
  return {};
}

std::expected<void, int> writeVectors(int fd, std::vector<iovec> vectors) {
  return transferAll(std::move(vectors), [fd](const iovec* first, std::ptrdiff_t count) {
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
  return writeVectors(fd, {{.iov_base = const_cast<char*>(bytes.data()), .iov_len = bytes.size()}});
}

std::expected<void, int> writeAll(int fd, std::span<const std::uint8_t> bytes) {
  return writeVectors(
      fd, {{.iov_base = const_cast<std::uint8_t*>(bytes.data()), .iov_len = bytes.size()}});
}

std::expected<void, int> sendAll(int fd, std::span<const std::span<const std::uint8_t>> pieces) {
  std::vector<iovec> vectors;
  for (const auto piece : pieces) {
    vectors.push_back(
        {.iov_base = const_cast<std::uint8_t*>(piece.data()), .iov_len = piece.size()});
  }
  return transferAll(std::move(vectors), [fd](iovec* first, std::ptrdiff_t count) {
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
