// File management on Linux: the stand-in for NSFileManager, the whole-file string reads and
// writes and URL resource values. Failures are platform errors (platform/linux/file_error.h).
#pragma once

#include "platform/files.h"

namespace tarnel::linux_platform {

class LinuxFiles : public Files {
 public:
  bool exists(const std::string& path) override;
  std::expected<void, PlatformError> writeText(const std::string& path, std::string_view text,
                                               FinalLink finalLink) override;
  std::expected<void, PlatformError> setOwner(const std::string& path, const std::string& user,
                                              const std::string& group) override;
  std::expected<void, PlatformError> removeItem(const std::string& path) override;
  std::expected<std::vector<std::string>, PlatformError> listFolder(
      const std::string& path) override;
  std::expected<std::string, PlatformError> readText(const std::string& path,
                                                     std::size_t maximumBytes) override;
  std::optional<ItemType> itemType(const std::string& path) override;
};

// Folders nested deeper than this inside an item are not removed: each level holds a descriptor
// open while its content goes, and a client-made tree must not exhaust them.
inline constexpr std::size_t kMaximumRemovalDepth = 256;

}  // namespace tarnel::linux_platform
