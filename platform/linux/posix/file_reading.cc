#include "platform/linux/posix/file_reading.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

std::optional<Bytes> readRange(int fd, std::uint64_t offset, std::size_t length) {
  Bytes bytes(length);
  if (!readRangeInto(fd, offset, bytes)) return std::nullopt;
  return bytes;
}

bool readRangeInto(int fd, std::uint64_t offset, std::span<std::uint8_t> into) {
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got =
        ::pread(fd, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::optional<std::string> readWholeFile(int fd, std::size_t limit) {
  // Read from the start each time: a /proc file composes its text anew for a read at offset 0,
  // and fills the whole buffer unless the text ends first, so a short read is the end.
  std::string contents(std::min<std::size_t>(limit, 16 * 1024), '\0');
  std::size_t have = 0;
  for (;;) {
    const ssize_t got =
        ::pread(fd, contents.data() + have, contents.size() - have, static_cast<off_t>(have));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    have += static_cast<std::size_t>(got);
    if (have < contents.size()) break;
    if (contents.size() == limit) return std::nullopt;
    contents.resize(std::min(limit, contents.size() * 2));
  }
  contents.resize(have);
  return contents;
}

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
  return readSmallFileAt(AT_FDCWD, path, limit);
}

std::optional<std::string> readSmallFileAt(int directory, const std::string& name,
                                           std::size_t limit) {
  UniqueFd file(::openat(directory, name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return std::nullopt;
  std::string contents;
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return contents;
    if (contents.size() + static_cast<std::size_t>(got) > limit) return std::nullopt;
    contents.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace tarnel::linux_platform
