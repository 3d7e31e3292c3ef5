// File management: the stand-in for NSFileManager, the whole-file string reads and writes and
// URL resource values. Failures come back as platform errors in "NSCocoaErrorDomain" with the
// codes a client of the original platform would see, the POSIX reason in the description.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/platform_error.h"

namespace tarnel {

// What a write does with a symbolic link that stands at its path.
enum class FinalLink {
  follow,  // write through it, as the platform's string write does
  refuse,  // fail instead of writing through it
};

// An item's own type, a final symbolic link not followed.
enum class ItemType { regular, directory, symbolicLink, other };

class Files {
 public:
  virtual ~Files() = default;

  // Whether an item exists at `path`; a symbolic link is followed, so a dangling link is no item.
  virtual bool exists(const std::string& path) = 0;

  // Writes `text` as UTF-8 to `path` directly (not through a temporary file), creating the file or
  // replacing its contents; nothing is rolled back on failure. An existing item that is not a
  // regular file (a FIFO would block the writer, a device could act on being opened) is refused.
  virtual std::expected<void, PlatformError> writeText(const std::string& path,
                                                       std::string_view text,
                                                       FinalLink finalLink) = 0;

  // Sets the owner and group of the item at `path` by account name; a final link is not followed.
  virtual std::expected<void, PlatformError> setOwner(const std::string& path,
                                                      const std::string& user,
                                                      const std::string& group) = 0;

  // Removes the item at `path`, a folder with all its contents; never follows a symbolic link, not
  // even one named with a trailing "/".
  virtual std::expected<void, PlatformError> removeItem(const std::string& path) = 0;

  // The names directly inside the folder at `path`, hidden items (names beginning with ".")
  // skipped, in the order the system lists them.
  virtual std::expected<std::vector<std::string>, PlatformError> listFolder(
      const std::string& path) = 0;

  // The whole of the regular file at `path` as UTF-8 text. Refuses invalid UTF-8, any item that
  // is not a regular file (a FIFO or a device could block forever) and a file larger than
  // `maximumBytes`.
  virtual std::expected<std::string, PlatformError> readText(const std::string& path,
                                                             std::size_t maximumBytes) = 0;

  // The own type of the item at `path`, a final link not followed; nothing when it cannot be
  // read (nothing there, no permission).
  virtual std::optional<ItemType> itemType(const std::string& path) = 0;
};

}  // namespace tarnel
