#include "platform/linux/file_error.h"

#include <string.h>

#include <cerrno>

namespace tarnel::linux_platform {

namespace {

constexpr std::int64_t code(CocoaFileError error) { return static_cast<std::int64_t>(error); }

struct ErrnoRow {
  int errorNumber;
  std::int64_t reading;
  std::int64_t writing;
};

constexpr ErrnoRow kErrnoRows[] = {
    {ENOENT, code(CocoaFileError::readNoSuchFile), code(CocoaFileError::noSuchFile)},
    // A path component that is not a folder: nothing can exist below it.
    {ENOTDIR, code(CocoaFileError::readNoSuchFile), code(CocoaFileError::noSuchFile)},
    {EACCES, code(CocoaFileError::readNoPermission), code(CocoaFileError::writeNoPermission)},
    {EPERM, code(CocoaFileError::readNoPermission), code(CocoaFileError::writeNoPermission)},
    {ENAMETOOLONG, kReadInvalidFileNameCode, kWriteInvalidFileNameCode},
    {EEXIST, code(CocoaFileError::readUnknown), code(CocoaFileError::writeFileExists)},
    {ENOSPC, code(CocoaFileError::readUnknown), code(CocoaFileError::writeOutOfSpace)},
    {EDQUOT, code(CocoaFileError::readUnknown), code(CocoaFileError::writeOutOfSpace)},
    {EROFS, code(CocoaFileError::readUnknown), code(CocoaFileError::writeVolumeReadOnly)},
};

std::int64_t codeFor(FileAccess access, int errorNumber) {
  for (const auto& row : kErrnoRows) {
    if (row.errorNumber == errorNumber) {
      return access == FileAccess::reading ? row.reading : row.writing;
    }
  }
  return code(access == FileAccess::reading ? CocoaFileError::readUnknown
                                            : CocoaFileError::writeUnknown);
}

std::string reasonFor(int errorNumber) {
  if (const char* reason = ::strerrordesc_np(errorNumber)) return reason;
  return "Unknown error " + std::to_string(errorNumber);
}

}  // namespace

PlatformError fileError(FileAccess access, int errorNumber, const std::string& path) {
  return fileError(codeFor(access, errorNumber), reasonFor(errorNumber), path);
}

PlatformError fileError(std::int64_t code, std::string_view reason, const std::string& path) {
  return PlatformError{
      .domain = cocoaErrorDomain, .code = code, .description = std::string(reason) + ": " + path};
}

PlatformError invalidFileName(FileAccess access, const std::string& path) {
  return fileError(
      access == FileAccess::reading ? kReadInvalidFileNameCode : kWriteInvalidFileNameCode,
      "Invalid file name", path);
}

}  // namespace tarnel::linux_platform
