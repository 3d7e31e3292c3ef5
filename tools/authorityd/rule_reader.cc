#include "tools/authorityd/rule_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/linux/authorization/protocol.h"
#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/message_text.h"
#include "platform/linux/posix/root_only.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::authorityd {

namespace {

using linux_platform::UniqueFd;

// Right names as the platform writes them ("com.quorvant.TarnelX8"): no separator, no hidden
// file, nothing that leaves the folder.
bool isRuleFileName(std::string_view name) {
  const auto allowed = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
  };
  return !name.empty() && name.size() <= linux_platform::kMaximumRightNameLength &&
         name.front() != '.' && std::ranges::all_of(name, allowed);
}

}  // namespace

std::expected<Rule, RuleReadError> readRule(const std::string& rulesFolder,
                                            std::string_view rightName) {
  if (!isRuleFileName(rightName)) return std::unexpected(RuleReadError::invalidRightName);

  UniqueFd folder(::open(rulesFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return std::unexpected(RuleReadError::unreadable);
  struct stat folderStatus {};
  if (::fstat(folder.get(), &folderStatus) != 0) return std::unexpected(RuleReadError::unreadable);
  if (!linux_platform::checkOnlyOwnerCanWrite(folderStatus)) {
    return std::unexpected(RuleReadError::unsafe);
  }

  // Non-blocking, so that a FIFO put in the file's place cannot hold the server up.
  UniqueFd file(::openat(folder.get(), std::string(rightName).c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file) {
    if (errno == ENOENT) return std::unexpected(RuleReadError::noRule);
    if (errno == ELOOP) return std::unexpected(RuleReadError::unsafe);
    return std::unexpected(RuleReadError::unreadable);
  }
  struct stat fileStatus {};
  if (::fstat(file.get(), &fileStatus) != 0) return std::unexpected(RuleReadError::unreadable);
  if (!S_ISREG(fileStatus.st_mode) || !linux_platform::checkOnlyOwnerCanWrite(fileStatus)) {
    return std::unexpected(RuleReadError::unsafe);
  }

  const auto text = linux_platform::readAll(file.get(), kMaximumRuleFileSize);
  if (!text) return std::unexpected(RuleReadError::unreadable);
  const auto rule = parseRule(*text);
  if (!rule) return std::unexpected(RuleReadError::malformed);
  return *rule;
}

std::string_view describe(RuleReadError error) {
  using linux_platform::MessageText;
  static constexpr MessageText<RuleReadError> kTexts[] = {
      {RuleReadError::invalidRightName, "the right's name cannot name a rule"},
      {RuleReadError::noRule, "the right has no rule"},
      {RuleReadError::unsafe, "the rule is writable by others than root"},
      {RuleReadError::unreadable, "the rule cannot be read"},
      {RuleReadError::malformed, "the rule states no rule"},
  };
  static_assert(linux_platform::everyKindHasOneText(kTexts, RuleReadError::malformed));
  return linux_platform::textOf(kTexts, error);
}

}  // namespace tarnel::authorityd
