#include "platform/linux/posix/root_only.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ranges>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarnel::linux_platform {

namespace {

// Why `path` may be changed by someone other than root; empty when it may not.
std::string fault(const std::string& path, const struct stat& status, StickyFolder sticky) {
  const auto checked = checkOnlyOwnerCanWrite(status, AllowedOwner::root, sticky);
  if (checked) return {};
  switch (checked.error()) {
    case WriteFault::symbolicLink:
      return path + " is a symbolic link";
    case WriteFault::otherOwner:
      return path + " is owned by user " + std::to_string(status.st_uid) + ", not root";
    case WriteFault::writableByOthers:
      return path + " is writable by others";
    case WriteFault::writableByGroup:
      return path + " is writable by its group";
  }
  return path + " may be changed by others than root";
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

std::expected<void, std::string> checkOnlyRootCanWrite(const std::string& path,
                                                       const struct stat& status) {
  auto reason = fault(path, status, StickyFolder::refused);
  if (!reason.empty()) return std::unexpected(std::move(reason));
  return {};
}

std::expected<struct stat, std::string> statOnlyRootCanChange(const std::string& path) {
  std::string full = path;
  if (!path.starts_with('/')) {
    std::error_code error;
    const auto here = std::filesystem::current_path(error);
    if (error) return std::unexpected("cannot tell the working folder of " + path);
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
      return std::unexpected("cannot read " + prefix + ": " + std::strerror(errno));
    }
    const bool last = i == names.size();
    if (auto reason = fault(prefix, status, last ? StickyFolder::refused : StickyFolder::passes);
        !reason.empty()) {
      return std::unexpected(std::move(reason));
    }
    if (last) return status;
    if (!S_ISDIR(status.st_mode)) return std::unexpected(prefix + " is not a folder");
    prefix += (i == 0 ? "" : "/") + names[i];
  }
}

}  // namespace tarnel::linux_platform
