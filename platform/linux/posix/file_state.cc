#include "platform/linux/posix/file_state.h"

namespace tarnel::linux_platform {

namespace {

std::int64_t nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

FileState fileStateFrom(const struct stat& status) {
  return FileState{.device = status.st_dev,
                   .inode = status.st_ino,
                   .size = status.st_size,
                   .modified = nanoseconds(status.st_mtim),
                   .changed = nanoseconds(status.st_ctim)};
}

std::optional<FileState> fileStateOf(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::nullopt;
  return fileStateFrom(status);
}

std::optional<FileState> fileStateAt(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return fileStateFrom(status);
}

}  // namespace tarnel::linux_platform
