// A file made whole under a hidden temporary name in the folder it is meant for, then put in place
// by renaming it over its final name, so that the final name never shows half a file; removed
// again if it never is put in place.
#pragma once

#include <sys/types.h>

#include <expected>
#include <string>
#include <string_view>

#include "platform/linux/posix/unique_fd.h"
#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

class StagedFile {
 public:
  // A new empty file in `folder`, owned by root and with permission bits `mode`; why not when it
  // cannot be made.
  static std::expected<StagedFile, HelperinstallError> create(const std::string& folder,
                                                              mode_t mode);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  ~StagedFile();

  // Open for reading and writing.
  int fd() const { return fd_.get(); }

  std::expected<void, HelperinstallError> write(std::string_view bytes);
  // Everything that the open file `source` holds, up to `limit` bytes (more is refused).
  std::expected<void, HelperinstallError> copyFrom(int source, std::size_t limit);

  // Syncs the file and renames it to `path`, in the same folder, replacing what was there. After
  // that the file is no longer this object's to remove.
  std::expected<void, HelperinstallError> placeAt(const std::string& path);

 private:
  StagedFile(std::string path, linux_platform::UniqueFd fd)
      : path_(std::move(path)), fd_(std::move(fd)) {}

  std::string path_;
  linux_platform::UniqueFd fd_;
  bool placed_ = false;
};

}  // namespace tarnel::helperinstall
