#include "model/grapheme_count.h"

#include <utf8proc.h>

#include <cstdint>
#include <cstring>

namespace tarnel {

namespace {

// The number of ASCII bytes from `from` on, looked at eight at a time.
std::size_t asciiRunLength(const utf8proc_uint8_t* from, const utf8proc_uint8_t* end) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  const auto* at = from;
  while (end - at >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    if ((word & kHighBits) != 0) break;
    at += 8;
  }
  while (at < end && *at < 0x80) ++at;
  return static_cast<std::size_t>(at - from);
}

// The CR LF pairs whose line feed lies in the `length` bytes at `from`; `before` is the
// character just before them.
std::size_t crLfPairs(const utf8proc_uint8_t* from, std::size_t length, utf8proc_int32_t before) {
  std::size_t pairs = 0;
  const auto* end = from + length;
  for (const auto* at = from;
       (at = static_cast<const utf8proc_uint8_t*>(std::memchr(at, '\n', end - at))) != nullptr;
       ++at) {
    if ((at == from ? before : at[-1]) == '\r') ++pairs;
  }
  return pairs;
}

}  // namespace

std::size_t countGraphemeClusters(std::string_view utf8, std::size_t stopAt) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
  const auto* const end = bytes + utf8.size();
  std::size_t clusters = 0;
  utf8proc_int32_t previous = -1;
  // Carries what regional-indicator pairs and emoji zero-width-joiner sequences need across
  // code points.
  utf8proc_int32_t state = 0;
  while (bytes < end && clusters < stopAt) {
    if (previous >= 0 && previous < 0x80) {
      // Job texts are mostly ASCII, and ASCII needs no tables: two ASCII characters have a
      // boundary between them except inside CR LF, as none extends, joins or pairs with another.
      // Nor does any context reach back past an ASCII character, so after a run of them the walk
      // goes on as at the start of a text (state 0).
      if (const auto run = asciiRunLength(bytes, end); run > 0) {
        const auto runClusters = run - crLfPairs(bytes, run, previous);
        if (runClusters >= stopAt - clusters) return stopAt;
        clusters += runClusters;
        previous = bytes[run - 1];
        bytes += run;
        state = 0;
        continue;
      }
    }
    utf8proc_int32_t codePoint = 0;
    const auto length = utf8proc_iterate(bytes, end - bytes, &codePoint);
    if (length <= 0) break;  // not reached for valid UTF-8, which is all a request can hold
    if (previous < 0 || utf8proc_grapheme_break_stateful(previous, codePoint, &state)) {
      ++clusters;
    }
    previous = codePoint;
    bytes += length;
  }
  return clusters;
}

}  // namespace tarnel
