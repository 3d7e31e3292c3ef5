// Reading a right's rule from the rules folder: one file per right, named after it, that only
// root can have written.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "tools/authorityd/rule.h"

namespace tarnel::authorityd {

inline constexpr std::size_t kMaximumRuleFileSize = 4096;

enum class RuleReadError {
  invalidRightName,  // not a name a rule file can have
  noRule,            // no rule file for the right
  unsafe,            // the folder or the file is writable by another user than root, or is no
                     // plain folder or file
  unreadable,        // the folder or the file cannot be read, or the file is too large
  malformed,         // the file states no rule
};

// The rule of `rightName` in `rulesFolder`.
std::expected<Rule, RuleReadError> readRule(const std::string& rulesFolder,
                                            std::string_view rightName);

// A few words for the log.
std::string_view describe(RuleReadError error);

}  // namespace tarnel::authorityd
