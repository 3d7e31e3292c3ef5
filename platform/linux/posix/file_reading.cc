#include "platform/linux/posix/file_reading.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/linux/posix/full_io.h"
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
    const auto got = readSomeAt(fd, into.data() + done, into.size() - done, offset + done);
    if (!got || *got == 0) return false;
    done += *got;
  }
  return true;
}

std::optional<std::string> readWholeFile(int fd, std::size_t limit) {
  // Read from the start each time: a /proc file composes its text anew for a read at offset 0,
  // and fills the whole buffer unless the text ends first, so a short read is the end.
  std::string contents(std::min<std::size_t>(limit, 16 * 1024), '\0');
  std::size_t have = 0;
  for (;;) {
    const auto got = readSomeAt(fd, contents.data() + have, contents.size() - have, have);
    if (!got) return std::nullopt;
    have += *got;
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
  auto contents = readAll(file.get(), limit);
  if (!contents) return std::nullopt;
  return std::move(*contents);
}

}  // namespace tarnel::linux_platform
