// What changes when a file changes: its identity (device and inode), its size, and its
// modification and change times to the nanosecond. The change time cannot be set by anyone: a
// write, a rename onto the path, a change of owner or mode all move it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tarnel::linux_platform {

struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch
  std::int64_t changed = 0;
  bool operator==(const FileState&) const = default;
};

// The state that `status`, as stat gives it, shows.
FileState fileStateFrom(const struct stat& status);
// The state of the open file `fd`; nothing when it cannot be read.
std::optional<FileState> fileStateOf(int fd);
// The state of the item at `path`, a final link followed; nothing when there is none.
std::optional<FileState> fileStateAt(const std::string& path);

}  // namespace tarnel::linux_platform
