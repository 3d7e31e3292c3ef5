#include "tools/helperinstall/system_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/posix/root_only.h"

namespace tarnel::helperinstall {

std::expected<void, std::string> checkSystemFolder(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0)
    return std::unexpected(path + ": " + std::strerror(errno));
  if (!S_ISDIR(status.st_mode)) return std::unexpected(path + " is not a folder");
  if (!linux_platform::checkOnlyOwnerCanWrite(status)) {
    return std::unexpected(path + " may be changed by users other than root");
  }
  return {};
}

}  // namespace tarnel::helperinstall
