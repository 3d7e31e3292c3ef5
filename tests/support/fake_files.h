// An in-memory file system that records every operation and fails where the test says. A path
// names the same item with or without trailing slashes.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakeFiles : public Files {
 public:
  explicit FakeFiles(Journal& journal) : journal_(journal) {}

  // Laying out the file system; these are not journalled.
  void addFile(const std::string& path, std::string contents = "");
  void addFolder(const std::string& path);
  void addLink(const std::string& path, std::string target);

  // The next operation named `operation` ("write", "setOwner", "remove", "list", "read") on
  // `path` fails with `error` and changes nothing.
  void failNext(const std::string& operation, const std::string& path, PlatformError error);

  bool has(const std::string& path) const { return items_.contains(path); }
  // The contents of a file, nothing when there is no file at `path`.
  std::optional<std::string> contents(const std::string& path) const;
  // Owner and group set on `path`, as "user:group", nothing when never set.
  std::optional<std::string> owner(const std::string& path) const;

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

 private:
  struct Item {
    ItemType type = ItemType::regular;
    std::string contents;  // a link's target for symbolic links
    std::optional<std::string> owner;
  };

  std::optional<PlatformError> takeFailure(const std::string& operation, const std::string& path);
  static PlatformError noSuchFile(std::int64_t code, const std::string& path);

  Journal& journal_;
  std::map<std::string, Item> items_;
  std::map<std::pair<std::string, std::string>, std::vector<PlatformError>> failures_;
};

}  // namespace tarnel::support
