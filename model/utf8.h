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

}  // namespace tarnel
