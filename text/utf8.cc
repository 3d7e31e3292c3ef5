#include "text/utf8.h"

#include <bit>
#include <cstddef>
#include <cstring>

namespace tarnel {

namespace {

bool continues(std::uint8_t byte) { return (byte & 0xc0) == 0x80; }

// Each lead byte admits a range for the byte after it (the Unicode Standard's table of
// well-formed byte sequences), a part of the continuation bytes' 80 to BF: that range is what
// rules out overlong forms (after C0, C1, E0 and F0), surrogates (after ED) and code points past
// U+10FFFF (after F4, and the leads F5 to FF).

bool isThreeByteSequence(const std::uint8_t* at) {
  const auto lead = at[0];
  const auto second = at[1];
  if (!continues(second) || !continues(at[2])) return false;
  return lead == 0xe0 ? second >= 0xa0 : lead != 0xed || second <= 0x9f;
}

bool isFourByteSequence(const std::uint8_t* at) {
  const auto lead = at[0];
  const auto second = at[1];
  if (lead > 0xf4 || !continues(second) || !continues(at[2]) || !continues(at[3])) return false;
  return lead == 0xf0 ? second >= 0x90 : lead != 0xf4 || second <= 0x8f;
}

}  // namespace

const std::uint8_t* pastAscii(const std::uint8_t* at, const std::uint8_t* end) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  while (end - at >= 16) {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::memcpy(&first, at, sizeof first);
    std::memcpy(&second, at + 8, sizeof second);
    if (((first | second) & kHighBits) != 0) break;
    at += 16;
  }
  while (end - at >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    if (const auto high = word & kHighBits; high != 0) {
      static_assert(std::endian::native == std::endian::little);
      return at + std::countr_zero(high) / 8;
    }
    at += 8;
  }
  while (at < end && *at < 0x80) ++at;
  return at;
}

bool isValidUtf8(std::span<const std::uint8_t> bytes) {
  const auto* at = bytes.data();
  const auto* const end = at + bytes.size();
  while (at < end) {
    const auto lead = *at;
    if (lead < 0x80) {
      // A single ASCII character, as a space between words, is passed without looking further.
      ++at;
      if (at < end && *at < 0x80) at = pastAscii(at, end);
    } else if (lead < 0xc2) {
      return false;
    } else if (lead < 0xe0) {
      // Most scripts' letters take two bytes, and come in runs as long as their words.
      do {
        if (end - at < 2 || !continues(at[1])) return false;
        at += 2;
      } while (at < end && *at >= 0xc2 && *at < 0xe0);
    } else if (lead < 0xf0) {
      // Kana, CJK ideographs and Hangul syllables come in long runs of three-byte sequences.
      do {
        if (end - at < 3 || !isThreeByteSequence(at)) return false;
        at += 3;
      } while (at < end && (*at & 0xf0) == 0xe0);
    } else {
      if (end - at < 4 || !isFourByteSequence(at)) return false;
      at += 4;
    }
  }
  return true;
}

}  // namespace tarnel
