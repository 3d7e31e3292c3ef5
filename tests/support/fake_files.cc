#include "tests/support/fake_files.h"

namespace tarnel::support {

namespace {

std::string folderPrefix(const std::string& path) {
  return path.ends_with('/') ? path : path + "/";
}

// A folder's path names it with or without trailing slashes, as on a real file system.
std::string itemKey(const std::string& path) {
  const auto end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? path : "/";
  return path.substr(0, end + 1);
}

}  // namespace

void FakeFiles::addFile(const std::string& path, std::string contents) {
  items_[itemKey(path)] = Item{.type = ItemType::regular, .contents = std::move(contents)};
}

void FakeFiles::addFolder(const std::string& path) {
  items_[itemKey(path)] = Item{.type = ItemType::directory};
}

void FakeFiles::addLink(const std::string& path, std::string target) {
  items_[itemKey(path)] = Item{.type = ItemType::symbolicLink, .contents = std::move(target)};
}

void FakeFiles::failNext(const std::string& operation, const std::string& path,
                         PlatformError error) {
  failures_[{operation, itemKey(path)}].push_back(std::move(error));
}

std::optional<std::string> FakeFiles::contents(const std::string& path) const {
  const auto found = items_.find(itemKey(path));
  if (found == items_.end() || found->second.type != ItemType::regular) return std::nullopt;
  return found->second.contents;
}

std::optional<std::string> FakeFiles::owner(const std::string& path) const {
  const auto found = items_.find(itemKey(path));
  if (found == items_.end()) return std::nullopt;
  return found->second.owner;
}

std::optional<PlatformError> FakeFiles::takeFailure(const std::string& operation,
                                                    const std::string& path) {
  auto found = failures_.find({operation, itemKey(path)});
  if (found == failures_.end() || found->second.empty()) return std::nullopt;
  auto error = found->second.front();
  found->second.erase(found->second.begin());
  return error;
}

PlatformError FakeFiles::noSuchFile(std::int64_t code, const std::string& path) {
  return PlatformError{.domain = cocoaErrorDomain,
                       .code = code,
                       .description = "No such file or directory: " + path};
}

bool FakeFiles::exists(const std::string& path) {
  journal_.record(Source::files, "exists " + path);
  const auto found = items_.find(itemKey(path));
  if (found == items_.end()) return false;
  if (found->second.type == ItemType::symbolicLink) return items_.contains(found->second.contents);
  return true;
}

std::expected<void, PlatformError> FakeFiles::writeText(const std::string& path,
                                                        std::string_view text,
                                                        FinalLink finalLink) {
  journal_.record(
      Source::files,
      std::string(finalLink == FinalLink::refuse ? "write (no link) " : "write ") + path);
  if (auto failure = takeFailure("write", path)) return std::unexpected(std::move(*failure));
  auto target = itemKey(path);
  if (const auto found = items_.find(itemKey(path));
      found != items_.end() && found->second.type == ItemType::symbolicLink) {
    if (finalLink == FinalLink::refuse) {
      return std::unexpected(
          PlatformError{.domain = cocoaErrorDomain,
                        .code = static_cast<std::int64_t>(CocoaFileError::writeUnknown),
                        .description = "Too many levels of symbolic links: " + path});
    }
    target = found->second.contents;
  }
  if (const auto found = items_.find(target);
      found != items_.end() && found->second.type != ItemType::regular) {
    return std::unexpected(
        PlatformError{.domain = cocoaErrorDomain,
                      .code = static_cast<std::int64_t>(CocoaFileError::writeUnknown),
                      .description = "Not a regular file: " + path});
  }
  auto& item = items_[target];
  item.type = ItemType::regular;
  item.contents = std::string(text);
  return {};
}

std::expected<void, PlatformError> FakeFiles::setOwner(const std::string& path,
                                                       const std::string& user,
                                                       const std::string& group) {
  journal_.record(Source::files, "setOwner " + path + " " + user + ":" + group);
  if (auto failure = takeFailure("setOwner", path)) return std::unexpected(std::move(*failure));
  const auto found = items_.find(itemKey(path));
  if (found == items_.end()) {
    return std::unexpected(noSuchFile(static_cast<std::int64_t>(CocoaFileError::noSuchFile), path));
  }
  found->second.owner = user + ":" + group;
  return {};
}

std::expected<void, PlatformError> FakeFiles::removeItem(const std::string& path) {
  journal_.record(Source::files, "remove " + path);
  if (auto failure = takeFailure("remove", path)) return std::unexpected(std::move(*failure));
  if (!items_.contains(itemKey(path))) {
    return std::unexpected(noSuchFile(static_cast<std::int64_t>(CocoaFileError::noSuchFile), path));
  }
  const auto item = itemKey(path);
  const auto prefix = folderPrefix(item);
  std::erase_if(items_, [&](const auto& entry) {
    return entry.first == item || entry.first.starts_with(prefix);
  });
  return {};
}

std::expected<std::vector<std::string>, PlatformError> FakeFiles::listFolder(
    const std::string& path) {
  journal_.record(Source::files, "list " + path);
  if (auto failure = takeFailure("list", path)) return std::unexpected(*failure);
  const auto found = items_.find(itemKey(path));
  if (found == items_.end() || found->second.type != ItemType::directory) {
    return std::unexpected(
        noSuchFile(static_cast<std::int64_t>(CocoaFileError::readNoSuchFile), path));
  }
  const auto prefix = folderPrefix(itemKey(path));
  std::vector<std::string> names;
  for (const auto& [itemPath, item] : items_) {
    if (!itemPath.starts_with(prefix) || itemPath.size() == prefix.size()) continue;
    const auto name = itemPath.substr(prefix.size());
    if (name.find('/') != std::string::npos || name.starts_with('.')) continue;
    names.push_back(name);
  }
  return names;
}

std::expected<std::string, PlatformError> FakeFiles::readText(const std::string& path,
                                                              std::size_t maximumBytes) {
  journal_.record(Source::files, "read " + path);
  if (auto failure = takeFailure("read", path)) return std::unexpected(*failure);
  const auto found = items_.find(itemKey(path));
  if (found == items_.end() || found->second.type != ItemType::regular ||
      found->second.contents.size() > maximumBytes) {
    return std::unexpected(
        noSuchFile(static_cast<std::int64_t>(CocoaFileError::readNoSuchFile), path));
  }
  return found->second.contents;
}

std::optional<ItemType> FakeFiles::itemType(const std::string& path) {
  journal_.record(Source::files, "type " + path);
  const auto found = items_.find(itemKey(path));
  if (found == items_.end()) return std::nullopt;
  return found->second.type;
}

}  // namespace tarnel::support
