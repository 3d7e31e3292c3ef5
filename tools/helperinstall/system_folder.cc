#include "tools/helperinstall/system_folder.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/linux/posix/root_only.h"

namespace tarnel::helperinstall {

std::expected<void, HelperinstallError> checkSystemFolder(const std::string& path) {
  using Kind = HelperinstallError::Kind;
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return std::unexpected(
        HelperinstallError{.kind = Kind::cannotUse, .subject = path, .systemError = errno});
  }
  if (!S_ISDIR(status.st_mode)) {
    return std::unexpected(HelperinstallError{.kind = Kind::notAFolder, .subject = path});
  }
  if (!linux_platform::checkOnlyOwnerCanWrite(status)) {
    return std::unexpected(HelperinstallError{.kind = Kind::changeableByOthers, .subject = path});
  }
  return {};
}

}  // namespace tarnel::helperinstall
