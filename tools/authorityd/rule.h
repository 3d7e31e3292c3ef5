// A right's rule: who is granted the right, and for how long a grant is kept before the rule is
// asked again.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace tarnel::authorityd {

enum class RuleKind {
  allow,   // every process
  deny,    // no process
  admin,   // a process whose user is root or belongs to an administrative group
  polkit,  // as polkit decides for the process
};

inline constexpr std::chrono::seconds kDefaultRuleTimeout{300};
inline constexpr std::chrono::seconds kMaximumRuleTimeout{24 * 60 * 60};

struct Rule {
  RuleKind kind = RuleKind::deny;
  std::chrono::seconds timeout = kDefaultRuleTimeout;  // 0: a grant is not kept at all
  bool operator==(const Rule&) const = default;
};

// The rule that `text` states: a line "rule KIND" (allow, deny, admin or polkit), at most one
// line "timeout SECONDS" (0 to a day), blank lines and lines that begin with '#'. Nothing for
// any other text.
std::optional<Rule> parseRule(std::string_view text);

}  // namespace tarnel::authorityd
