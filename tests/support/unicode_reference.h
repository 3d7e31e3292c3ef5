// The plain forms that model/'s fast text paths must agree with, for the tests and the fuzz
// targets alike: utf8proc asked about every pair of neighbouring code points, and a validator
// that decodes each sequence and then rules out what the contract names.
#pragma once

#include <utf8proc.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarnel::reference {

// The extended grapheme clusters of valid UTF-8 `text`.
inline std::size_t graphemeClusters(std::string_view text) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  auto remaining = static_cast<utf8proc_ssize_t>(text.size());
  std::size_t clusters = 0;
  utf8proc_int32_t previous = -1;
  utf8proc_int32_t state = 0;
  while (remaining > 0) {
    utf8proc_int32_t codePoint = 0;
    const auto length = utf8proc_iterate(bytes, remaining, &codePoint);
    if (length <= 0) break;
    if (previous < 0 || utf8proc_grapheme_break_stateful(previous, codePoint, &state)) ++clusters;
    previous = codePoint;
    bytes += length;
    remaining -= length;
  }
  return clusters;
}

// True when `bytes` is valid UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
inline bool isValidUtf8(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = bytes[i];
    std::size_t length = 1;
    std::uint32_t codePoint = lead;
    std::uint32_t smallest = 0;
    if (lead >= 0x80) {
      if ((lead & 0xe0) == 0xc0) {
        length = 2, codePoint = lead & 0x1f, smallest = 0x80;
      } else if ((lead & 0xf0) == 0xe0) {
        length = 3, codePoint = lead & 0x0f, smallest = 0x800;
      } else if ((lead & 0xf8) == 0xf0) {
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
      } else {
        return false;
      }
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xc0) != 0x80) return false;
      codePoint = (codePoint << 6) | (bytes[i + k] & 0x3f);
    }
    if (codePoint < smallest || codePoint > 0x10ffff ||
        (codePoint >= 0xd800 && codePoint <= 0xdfff)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace tarnel::reference
