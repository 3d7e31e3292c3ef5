// Numbers read from text that a peer, a file or the kernel wrote: the whole text must be the
// number, in range, with no sign, blank or anything else around it.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace tarnel::linux_platform {

template <class Number>
std::optional<Number> parseNumber(std::string_view text, int base = 10) {
  Number number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

}  // namespace tarnel::linux_platform
