#include "platform/linux/posix/root_only.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <ranges>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarnel::linux_platform {

namespace {

// Why `path` may be changed by someone other than root, if it may.
std::expected<void, RootOnlyError> rootOnly(const std::string& path, const struct stat& status,
                                            StickyFolder sticky) {
  const auto checked = checkOnlyOwnerCanWrite(status, AllowedOwner::root, sticky);
  if (checked) return {};
  switch (checked.error()) {
    case WriteFault::symbolicLink:
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::symbolicLink, path});
    case WriteFault::otherOwner:
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::otherOwner, path, status.st_uid});
    case WriteFault::writableByOthers:
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::writableByOthers, path});
    case WriteFault::writableByGroup:
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::writableByGroup, path});
  }
  // The faults above are all there are.
  std::abort();
}

}  // namespace

std::expected<void, WriteFault> checkOnlyOwnerCanWrite(const struct stat& status,
                                                       AllowedOwner owner, StickyFolder sticky) {
  if (S_ISLNK(status.st_mode)) return std::unexpected(WriteFault::symbolicLink);
  const bool ownerAllowed = (owner != AllowedOwner::effectiveUser && status.st_uid == 0) ||
                            (owner != AllowedOwner::root && status.st_uid == ::geteuid());
  if (!ownerAllowed) return std::unexpected(WriteFault::otherOwner);
  if (sticky == StickyFolder::passes && S_ISDIR(status.st_mode) &&
      (status.st_mode & S_ISVTX) != 0) {
    return {};
  }
  if ((status.st_mode & S_IWOTH) != 0) return std::unexpected(WriteFault::writableByOthers);
  if ((status.st_mode & S_IWGRP) != 0) return std::unexpected(WriteFault::writableByGroup);
  return {};
}

std::expected<void, RootOnlyError> checkOnlyRootCanWrite(const std::string& path,
                                                         const struct stat& status) {
  return rootOnly(path, status, StickyFolder::refused);
}

std::expected<struct stat, RootOnlyError> statOnlyRootCanChange(const std::string& path) {
  std::string full = path;
  if (!path.starts_with('/')) {
    std::error_code error;
    const auto here = std::filesystem::current_path(error);
    if (error) {
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::unknownWorkingFolder, path});
    }
    full = here.string() + "/" + path;
  }
  std::vector<std::string> names;
  for (const auto name : std::views::split(std::string_view(full), '/')) {
    if (!name.empty()) names.emplace_back(std::string_view(name));
  }
  // "/" first, then each prefix in turn: a link anywhere on the way is the last item of some
  // prefix and is refused there, so the prefixes are exactly the folders the whole path goes
  // through, ".." included.
  std::string prefix = "/";
  for (std::size_t i = 0;; ++i) {
    struct stat status {};
    if (::lstat(prefix.c_str(), &status) != 0) {
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::unreadable, prefix, 0, errno});
    }
    const bool last = i == names.size();
    if (auto safe = rootOnly(prefix, status, last ? StickyFolder::refused : StickyFolder::passes);
        !safe) {
      return std::unexpected(std::move(safe.error()));
    }
    if (last) return status;
    if (!S_ISDIR(status.st_mode)) {
      return std::unexpected(RootOnlyError{RootOnlyError::Kind::notFolder, prefix});
    }
    prefix += (i == 0 ? "" : "/") + names[i];
  }
}

}  // namespace tarnel::linux_platform
