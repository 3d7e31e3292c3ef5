#include "tools/tarnelctl/helper_version.h"

#include <algorithm>
#include <vector>

namespace tarnel::tarnelctl {

namespace {

bool isVersion(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.' ||
      text.find("..") != std::string_view::npos) {
    return false;
  }
  return std::ranges::all_of(text, [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::vector<std::string_view> numbersOf(std::string_view version) {
  std::vector<std::string_view> numbers;
  while (!version.empty()) {
    const auto dot = version.find('.');
    std::string_view number = version.substr(0, dot);
    // Leading zeros do not count, so that numbers of any length compare by length, then digits.
    number.remove_prefix(std::min(number.find_first_not_of('0'), number.size()));
    numbers.push_back(number);
    version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
  }
  return numbers;
}

}  // namespace

std::optional<std::string> bundleVersionIn(std::string_view display) {
  // The property list follows the "Info:" line; the key is one the platform's XML writer and
  // Info.plist give as <key>CFBundleVersion</key> then <string>VERSION</string>.
  const auto info = display.find("\nInfo:\n");
  if (info == std::string_view::npos) return std::nullopt;
  constexpr std::string_view kKey = "<key>CFBundleVersion</key>";
  const auto key = display.find(kKey, info);
  if (key == std::string_view::npos) return std::nullopt;
  std::string_view rest = display.substr(key + kKey.size());
  rest.remove_prefix(std::min(rest.find_first_not_of(" \t\r\n"), rest.size()));
  constexpr std::string_view kOpen = "<string>";
  if (!rest.starts_with(kOpen)) return std::nullopt;
  rest.remove_prefix(kOpen.size());
  const auto close = rest.find("</string>");
  if (close == std::string_view::npos || !isVersion(rest.substr(0, close))) return std::nullopt;
  return std::string(rest.substr(0, close));
}

std::strong_ordering compareVersions(std::string_view left, std::string_view right) {
  const auto leftNumbers = numbersOf(left);
  const auto rightNumbers = numbersOf(right);
  for (std::size_t i = 0; i < std::max(leftNumbers.size(), rightNumbers.size()); ++i) {
    const std::string_view a = i < leftNumbers.size() ? leftNumbers[i] : "";
    const std::string_view b = i < rightNumbers.size() ? rightNumbers[i] : "";
    if (const auto order = a.size() <=> b.size(); order != 0) return order;
    if (const auto order = a.compare(b) <=> 0; order != 0) return order;
  }
  return std::strong_ordering::equal;
}

}  // namespace tarnel::tarnelctl
