#include "tools/authorityd/rule.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/linux/posix/number_parsing.h"

namespace tarnel::authorityd {

namespace {

struct KindName {
  std::string_view name;
  RuleKind kind;
};

constexpr KindName kKindNames[] = {
    {"allow", RuleKind::allow},
    {"deny", RuleKind::deny},
    {"admin", RuleKind::admin},
    {"polkit", RuleKind::polkit},
};

constexpr std::string_view kBlanks = " \t\r";

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> found;
  while (true) {
    const auto start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return found;
    line.remove_prefix(start);
    const auto end = std::min(line.find_first_of(kBlanks), line.size());
    found.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
}

std::optional<RuleKind> kindNamed(std::string_view name) {
  const auto known = std::ranges::find(kKindNames, name, &KindName::name);
  if (known == std::end(kKindNames)) return std::nullopt;
  return known->kind;
}

std::optional<std::chrono::seconds> timeoutNamed(std::string_view text) {
  const auto seconds = linux_platform::parseNumber<long long>(text);
  if (!seconds || *seconds < 0 || *seconds > kMaximumRuleTimeout.count()) return std::nullopt;
  return std::chrono::seconds(*seconds);
}

}  // namespace

std::optional<Rule> parseRule(std::string_view text) {
  std::optional<RuleKind> kind;
  std::optional<std::chrono::seconds> timeout;
  while (!text.empty()) {
    const auto lineEnd = std::min(text.find('\n'), text.size());
    const auto line = words(text.substr(0, lineEnd));
    text.remove_prefix(std::min(lineEnd + 1, text.size()));

    if (line.empty() || line.front().starts_with('#')) continue;
    if (line.size() != 2) return std::nullopt;
    if (line[0] == "rule" && !kind) {
      kind = kindNamed(line[1]);
      if (!kind) return std::nullopt;
    } else if (line[0] == "timeout" && !timeout) {
      timeout = timeoutNamed(line[1]);
      if (!timeout) return std::nullopt;
    } else {
      // An unknown key, or a key given twice: which one was meant is anybody's guess.
      return std::nullopt;
    }
  }
  if (!kind) return std::nullopt;
  return Rule{.kind = *kind, .timeout = timeout.value_or(kDefaultRuleTimeout)};
}

}  // namespace tarnel::authorityd
