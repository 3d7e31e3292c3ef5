#include "tools/launchctl/state_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/posix/root_only.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

std::string stateFolderPath() {
  const char* chosen = std::getenv(kStateFolderVariable);
  return chosen != nullptr && *chosen != '\0' ? std::string(chosen) : kDefaultStateFolder;
}

std::expected<void, LaunchctlError> prepareStateFolder(const std::string& folder) {
  const auto unusable = [&](LaunchctlReason reason) {
    return std::unexpected(LaunchctlError{.kind = LaunchctlError::Kind::stateFolderUnusable,
                                          .subject = folder,
                                          .reason = std::move(reason)});
  };
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    return unusable({.kind = LaunchctlReason::Kind::systemError, .systemError = errno});
  }
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    return unusable({.kind = LaunchctlReason::Kind::systemError, .systemError = errno});
  }
  if (!S_ISDIR(status.st_mode)) {
    return unusable({.kind = LaunchctlReason::Kind::notADirectory});
  }
  if (!linux_platform::checkOnlyOwnerCanWrite(status,
                                              linux_platform::AllowedOwner::effectiveUser)) {
    return unusable({.kind = LaunchctlReason::Kind::changeableByOthers});
  }
  return {};
}

}  // namespace tarnel::launchctl
