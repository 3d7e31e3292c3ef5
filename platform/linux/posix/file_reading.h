// Bounded reads of files: a byte range of an open file, or a whole small file opened
// close-on-exec, so that nothing a peer controls can make the reader allocate without limit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "model/value.h"

namespace tarnel::linux_platform {

// Exactly `length` bytes at `offset` of the open file `fd`; nothing when the file ends first or
// a read fails.
std::optional<Bytes> readRange(int fd, std::uint64_t offset, std::size_t length);

// The same into `into`, which it fills exactly; false when the file ends first or a read fails.
bool readRangeInto(int fd, std::uint64_t offset, std::span<std::uint8_t> into);

// The whole file at `path`; nothing when it cannot be opened or read, or holds more than `limit`
// bytes.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit);

// The whole of the open file `fd` from its start, read again each time (a /proc file shows what
// holds now); nothing when it cannot be read or holds more than `limit` bytes.
std::optional<std::string> readWholeFile(int fd, std::size_t limit);

// The same as readSmallFile for the file `name` inside the open folder `directory`.
std::optional<std::string> readSmallFileAt(int directory, const std::string& name,
                                           std::size_t limit);

}  // namespace tarnel::linux_platform
