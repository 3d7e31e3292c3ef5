#include "platform/linux/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/linux/file_error.h"
#include "platform/linux/posix/account_ids.h"
#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/unique_fd.h"
#include "text/utf8.h"

namespace tarnel::linux_platform {

namespace {

// Permission bits of a new file before the umask, as the platform's string write gives them.
constexpr mode_t kNewFileMode = 0666;

bool holdsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// The item a path names itself: a trailing "/" would make the system follow a final link.
std::string withoutTrailingSlashes(const std::string& path) {
  auto end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? path : "/";
  return path.substr(0, end + 1);
}

PlatformError notRegularFile(FileAccess access, const std::string& path) {
  return fileError(
      static_cast<std::int64_t>(access == FileAccess::reading ? CocoaFileError::readUnknown
                                                              : CocoaFileError::writeUnknown),
      "Not a regular file", path);
}

struct FolderCloser {
  void operator()(DIR* folder) const { ::closedir(folder); }
};
using FolderStream = std::unique_ptr<DIR, FolderCloser>;

std::expected<FolderStream, int> openFolder(int at, const char* name, int extraFlags) {
  UniqueFd folder(::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extraFlags));
  if (!folder) return std::unexpected(errno);
  DIR* stream = ::fdopendir(folder.get());
  if (stream == nullptr) return std::unexpected(errno);
  folder.release();
  return FolderStream(stream);
}

// Every name in the folder but "." and "..", read before anything in it changes.
std::expected<std::vector<std::string>, int> namesIn(DIR* folder) {
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(folder);
    if (entry == nullptr) {
      if (errno != 0) return std::unexpected(errno);
      return names;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
}

struct FolderLevel {
  FolderStream stream;
  std::vector<std::string> names;
  std::size_t next = 0;
};

// Removes everything inside `folder`, depth first, without recursion. Every step is relative to
// an open folder and never follows a link: a link is removed itself (unlinkat), and a folder is
// only entered through openat with O_NOFOLLOW, so a link swapped in for it is refused.
std::expected<void, PlatformError> removeContents(FolderStream folder, const std::string& path) {
  std::vector<FolderLevel> levels;
  auto names = namesIn(folder.get());
  if (!names) return std::unexpected(fileError(FileAccess::writing, names.error(), path));
  levels.push_back(FolderLevel{std::move(folder), std::move(*names)});

  while (!levels.empty()) {
    auto& level = levels.back();
    const int at = ::dirfd(level.stream.get());
    if (level.next == level.names.size()) {
      levels.pop_back();
      if (levels.empty()) break;
      auto& parent = levels.back();
      const auto& emptied = parent.names[parent.next++];
      if (::unlinkat(::dirfd(parent.stream.get()), emptied.c_str(), AT_REMOVEDIR) != 0) {
        return std::unexpected(fileError(FileAccess::writing, errno, path));
      }
      continue;
    }

    const auto& name = level.names[level.next];
    // An item that went away meanwhile is as removed as it would have been.
    if (::unlinkat(at, name.c_str(), 0) == 0 || errno == ENOENT) {
      ++level.next;
      continue;
    }
    if (errno != EISDIR) return std::unexpected(fileError(FileAccess::writing, errno, path));
    if (levels.size() >= kMaximumRemovalDepth) {
      return std::unexpected(fileError(static_cast<std::int64_t>(CocoaFileError::writeUnknown),
                                       "Folders nested too deeply to remove", path));
    }
    auto child = openFolder(at, name.c_str(), O_NOFOLLOW);
    if (!child) return std::unexpected(fileError(FileAccess::writing, child.error(), path));
    auto childNames = namesIn(child->get());
    if (!childNames) {
      return std::unexpected(fileError(FileAccess::writing, childNames.error(), path));
    }
    levels.push_back(FolderLevel{std::move(*child), std::move(*childNames)});
  }
  return {};
}

std::expected<void, PlatformError> writeWhole(int descriptor, std::string_view text,
                                              const std::string& path) {
  if (const auto written = writeAll(descriptor, text); !written) {
    return std::unexpected(fileError(FileAccess::writing, written.error(), path));
  }
  return {};
}

}  // namespace

bool LinuxFiles::exists(const std::string& path) {
  struct stat status {};
  return !holdsNul(path) && ::stat(path.c_str(), &status) == 0;
}

std::expected<void, PlatformError> LinuxFiles::writeText(const std::string& path,
                                                         std::string_view text,
                                                         FinalLink finalLink) {
  if (holdsNul(path)) return std::unexpected(invalidFileName(FileAccess::writing, path));
  const bool refuseLink = finalLink == FinalLink::refuse;

  // Opening a FIFO for writing would wait for a reader, and opening a device can act on it:
  // neither is opened. The check after opening closes the gap in which one could be swapped in.
  struct stat existing {};
  const int found = refuseLink ? ::lstat(path.c_str(), &existing) : ::stat(path.c_str(), &existing);
  if (found == 0 && S_ISLNK(existing.st_mode)) {
    return std::unexpected(fileError(FileAccess::writing, ELOOP, path));
  }
  if (found == 0 && !S_ISREG(existing.st_mode)) {
    return std::unexpected(notRegularFile(FileAccess::writing, path));
  }

  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                    (refuseLink ? O_NOFOLLOW : 0);
  UniqueFd file(::open(path.c_str(), flags, kNewFileMode));
  if (!file) return std::unexpected(fileError(FileAccess::writing, errno, path));
  struct stat opened {};
  if (::fstat(file.get(), &opened) != 0) {
    return std::unexpected(fileError(FileAccess::writing, errno, path));
  }
  if (!S_ISREG(opened.st_mode)) return std::unexpected(notRegularFile(FileAccess::writing, path));

  if (auto written = writeWhole(file.get(), text, path); !written) return written;
  // Some file systems report a failed write only when the file is closed. Linux closes the
  // descriptor even when close() is interrupted, so EINTR is no failure.
  if (::close(file.release()) != 0 && errno != EINTR) {
    return std::unexpected(fileError(FileAccess::writing, errno, path));
  }
  return {};
}

std::expected<void, PlatformError> LinuxFiles::setOwner(const std::string& path,
                                                        const std::string& user,
                                                        const std::string& group) {
  if (holdsNul(path)) return std::unexpected(invalidFileName(FileAccess::writing, path));
  const auto userId = userIdNamed(user);
  if (!userId) {
    return std::unexpected(fileError(static_cast<std::int64_t>(CocoaFileError::writeUnknown),
                                     "No user named \"" + user + "\"", path));
  }
  const auto groupId = groupIdNamed(group);
  if (!groupId) {
    return std::unexpected(fileError(static_cast<std::int64_t>(CocoaFileError::writeUnknown),
                                     "No group named \"" + group + "\"", path));
  }
  if (::lchown(withoutTrailingSlashes(path).c_str(), *userId, *groupId) != 0) {
    return std::unexpected(fileError(FileAccess::writing, errno, path));
  }
  return {};
}

std::expected<void, PlatformError> LinuxFiles::removeItem(const std::string& path) {
  if (holdsNul(path)) return std::unexpected(invalidFileName(FileAccess::writing, path));
  const auto item = withoutTrailingSlashes(path);
  // unlink removes anything but a folder, a link included, and never follows one; Linux answers
  // EISDIR for a folder.
  if (::unlink(item.c_str()) == 0) return {};
  if (errno != EISDIR) return std::unexpected(fileError(FileAccess::writing, errno, path));

  auto folder = openFolder(AT_FDCWD, item.c_str(), O_NOFOLLOW);
  if (!folder) return std::unexpected(fileError(FileAccess::writing, folder.error(), path));
  if (auto emptied = removeContents(std::move(*folder), path); !emptied) return emptied;
  if (::rmdir(item.c_str()) != 0) {
    return std::unexpected(fileError(FileAccess::writing, errno, path));
  }
  return {};
}

std::expected<std::vector<std::string>, PlatformError> LinuxFiles::listFolder(
    const std::string& path) {
  if (holdsNul(path)) return std::unexpected(invalidFileName(FileAccess::reading, path));
  auto folder = openFolder(AT_FDCWD, path.c_str(), 0);
  if (!folder) return std::unexpected(fileError(FileAccess::reading, folder.error(), path));
  auto names = namesIn(folder->get());
  if (!names) return std::unexpected(fileError(FileAccess::reading, names.error(), path));
  std::erase_if(*names, [](const std::string& name) { return name.starts_with('.'); });
  return std::move(*names);
}

std::expected<std::string, PlatformError> LinuxFiles::readText(const std::string& path,
                                                               std::size_t maximumBytes) {
  if (holdsNul(path)) return std::unexpected(invalidFileName(FileAccess::reading, path));

  // A FIFO would hold the reader until a writer came, and a device can act on being opened:
  // only a regular file is opened, and the check after opening closes the gap in which another
  // item could be swapped in.
  struct stat found {};
  if (::stat(path.c_str(), &found) != 0) {
    return std::unexpected(fileError(FileAccess::reading, errno, path));
  }
  if (!S_ISREG(found.st_mode)) return std::unexpected(notRegularFile(FileAccess::reading, path));
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file) return std::unexpected(fileError(FileAccess::reading, errno, path));
  struct stat opened {};
  if (::fstat(file.get(), &opened) != 0) {
    return std::unexpected(fileError(FileAccess::reading, errno, path));
  }
  if (!S_ISREG(opened.st_mode)) return std::unexpected(notRegularFile(FileAccess::reading, path));

  const auto tooLarge = [&] {
    return std::unexpected(fileError(kReadTooLargeCode, "File too large to read", path));
  };
  if (static_cast<std::size_t>(opened.st_size) > maximumBytes) return tooLarge();

  // The file may grow while it is read: a byte past the limit tells a file that is too large.
  auto read = readAll(file.get(), maximumBytes);
  if (!read && read.error().kind == ReadAllError::Kind::tooLarge) return tooLarge();
  if (!read) return std::unexpected(fileError(FileAccess::reading, read.error().systemError, path));
  std::string text = std::move(*read);
  if (!isValidUtf8(text)) {
    return std::unexpected(
        fileError(static_cast<std::int64_t>(CocoaFileError::readInapplicableStringEncoding),
                  "The file's content is not valid UTF-8", path));
  }
  return text;
}

std::optional<ItemType> LinuxFiles::itemType(const std::string& path) {
  if (holdsNul(path)) return std::nullopt;
  struct stat status {};
  if (::lstat(withoutTrailingSlashes(path).c_str(), &status) != 0) return std::nullopt;
  if (S_ISREG(status.st_mode)) return ItemType::regular;
  if (S_ISDIR(status.st_mode)) return ItemType::directory;
  if (S_ISLNK(status.st_mode)) return ItemType::symbolicLink;
  return ItemType::other;
}

}  // namespace tarnel::linux_platform
