// UTF-8 validity, as everything that takes text from a peer or a file checks it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tarnel {

// True when `bytes` is valid UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(std::span<const std::uint8_t> bytes);

inline bool isValidUtf8(std::string_view text) {
  return isValidUtf8({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// The first byte from `at` on that is not ASCII, or `end`. Texts are mostly ASCII, so it looks at
// sixteen bytes a step.
const std::uint8_t* pastAscii(const std::uint8_t* at, const std::uint8_t* end);

}  // namespace tarnel
