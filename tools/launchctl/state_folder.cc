#include "tools/launchctl/state_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/posix/root_only.h"
#include "tools/launchctl/messages.h"

namespace tarnel::launchctl {

std::string stateFolderPath() {
  const char* chosen = std::getenv(kStateFolderVariable);
  return chosen != nullptr && *chosen != '\0' ? std::string(chosen) : kDefaultStateFolder;
}

std::expected<void, std::string> prepareStateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    return std::unexpected(messages::stateFolderUnusable(folder, std::strerror(errno)));
  }
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    return std::unexpected(messages::stateFolderUnusable(folder, std::strerror(errno)));
  }
  if (!S_ISDIR(status.st_mode)) {
    return std::unexpected(messages::stateFolderUnusable(folder, "not a directory"));
  }
  if (!linux_platform::checkOnlyOwnerCanWrite(status,
                                              linux_platform::AllowedOwner::effectiveUser)) {
    return std::unexpected(
        messages::stateFolderUnusable(folder, "another user can change what it holds"));
  }
  return {};
}

}  // namespace tarnel::launchctl
