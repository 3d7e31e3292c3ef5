#include "text/grapheme_count.h"

#include <utf8proc.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "text/standalone_code_points.h"
#include "text/utf8.h"

namespace tarnel {

namespace {

// Where the standalone letters of `kLength` bytes (two or three: most scripts' letters; kana,
// CJK ideographs and Hangul syllables) from `at` on end, before `stop`, with the single ASCII
// characters between words, as spaces; each is a cluster of its own, added to `clusters`.
template <std::size_t kLength>
const std::uint8_t* pastLetters(const StandaloneCodePoints& standalone, const std::uint8_t* at,
                                const std::uint8_t* stop, std::size_t& clusters) {
  static_assert(kLength == 2 || kLength == 3);
  constexpr std::uint32_t kLeadMask = kLength == 2 ? 0xe0 : 0xf0;
  constexpr std::uint32_t kLeadBits = kLength == 2 ? 0xc0 : 0xe0;
  const auto* const first = at;
  std::size_t separators = 0;
  while (at < stop) {
    const std::uint32_t lead = at[0];
    if ((lead & kLeadMask) == kLeadBits) {
      const auto codePoint =
          kLength == 2 ? ((lead & 0x1f) << 6) | (at[1] & 0x3fu)
                       : ((((lead & 0x0f) << 6) | (at[1] & 0x3fu)) << 6) | (at[2] & 0x3fu);
      if (!standalone.containsBelow0x10000(codePoint)) break;
      at += kLength;
    } else if (lead < 0x80 && at[1] >= 0x80) {
      ++at;
      ++separators;
    } else {
      break;
    }
  }
  clusters += separators + (static_cast<std::size_t>(at - first) - separators) / kLength;
  return at;
}

// Where the code points from `at` on stop being ASCII, or standalone and below U+10000, before
// `stop`; each of them is a cluster of its own, added to `clusters`. That is most of a text in
// any script: letters, and the spaces and punctuation between words. No carriage return lies
// before `stop`, and three bytes follow it, so that no read here passes the text's end, be it
// UTF-8 or not.
const std::uint8_t* pastStandalone(const StandaloneCodePoints& standalone, const std::uint8_t* at,
                                   const std::uint8_t* stop, std::size_t& clusters) {
  while (at < stop) {
    const std::uint32_t lead = at[0];
    const auto* const first = at;
    if (lead < 0x80) {
      // A single ASCII character, as a space between words, needs no look further.
      at = at[1] < 0x80 ? pastAscii(at, stop) : at + 1;
      clusters += static_cast<std::size_t>(at - first);
    } else {
      at = lead >= 0xe0 ? pastLetters<3>(standalone, at, stop, clusters)
                        : pastLetters<2>(standalone, at, stop, clusters);
      if (at == first) break;
    }
  }
  return at;
}

// Finds the carriage returns ahead of a walk, looking at each byte once. They are rare, and the
// one ASCII character that a rule joins to the next (a line feed), so the fast path stops at each
// rather than looking for them itself.
class CarriageReturns {
 public:
  explicit CarriageReturns(const std::uint8_t* begin) : next_(begin), searchedTo_(begin) {}

  // The first carriage return from `at` on, before `limit`, or else `limit`. Neither `at` nor
  // `limit` may move back from one call to the next.
  const std::uint8_t* firstBefore(const std::uint8_t* at, const std::uint8_t* limit) {
    const bool known = next_ < searchedTo_;
    if (known && next_ >= at) return std::min(next_, limit);
    if (const auto* from = known ? at : std::max(at, searchedTo_); from < limit) {
      const auto* found = std::memchr(from, '\r', static_cast<std::size_t>(limit - from));
      next_ = found != nullptr ? static_cast<const std::uint8_t*>(found) : limit;
      searchedTo_ = limit;
    }
    return std::min(next_, limit);
  }

 private:
  // The first carriage return past the bytes looked at before it, or `searchedTo_` when none is
  // known.
  const std::uint8_t* next_;
  const std::uint8_t* searchedTo_;
};

struct Decoded {
  std::uint32_t codePoint = 0;
  std::size_t length = 0;  // 0 when the text ends inside the sequence
};

// The code point at `at`. The text is valid UTF-8, so the lead byte tells the length and the
// rest need no checks; of other bytes it reads nothing past `end`.
Decoded decode(const std::uint8_t* at, const std::uint8_t* end) {
  const std::uint32_t lead = at[0];
  const auto available = end - at;
  if (lead < 0x80) return {lead, 1};
  if (lead < 0xe0) {
    if (available < 2) return {};
    return {((lead & 0x1f) << 6) | (at[1] & 0x3fu), 2};
  }
  if (lead < 0xf0) {
    if (available < 3) return {};
    return {((lead & 0x0f) << 12) | ((at[1] & 0x3fu) << 6) | (at[2] & 0x3fu), 3};
  }
  if (available < 4) return {};
  return {
      ((lead & 0x07) << 18) | ((at[1] & 0x3fu) << 12) | ((at[2] & 0x3fu) << 6) | (at[3] & 0x3fu),
      4};
}

// The code point that ends just before `at`, or -1 at the start of the text.
std::int32_t codePointBefore(const std::uint8_t* begin, const std::uint8_t* at) {
  if (at == begin) return -1;
  const auto* first = at - 1;
  while (first > begin && (*first & 0xc0) == 0x80) --first;
  return static_cast<std::int32_t>(decode(first, at).codePoint);
}

}  // namespace

std::size_t countGraphemeClusters(std::string_view utf8, std::size_t stopAt) {
  const auto& standalone = StandaloneCodePoints::get();
  const auto* const begin = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto* const end = begin + utf8.size();
  const auto* at = begin;
  std::size_t clusters = 0;
  CarriageReturns carriageReturns(begin);
  while (at < end && clusters < stopAt) {
    // Here the code point before `at` is ASCII or standalone, or there is none, so no rule
    // reaches back past it but CR LF: the next code point begins a cluster if it is standalone,
    // or ASCII but for a line feed after a carriage return.
    if (*at == '\n' && at > begin && at[-1] == '\r') {
      ++at;
      continue;
    }
    if (end - at > 3) {
      // As a code point takes a byte at least, within `stopAt - clusters` bytes it never counts
      // past the limit.
      const auto* const from = at;
      const auto* const limit =
          at + std::min(static_cast<std::size_t>(end - at) - 3, stopAt - clusters);
      at = pastStandalone(standalone, at, carriageReturns.firstBefore(at, limit), clusters);
      if (at != from) continue;
    }
    // One code point on its own: a carriage return, one near the end of the text, one of four
    // bytes, or one that rules may join to its neighbours.
    auto next = decode(at, end);
    if (next.length == 0) break;  // not reached for valid UTF-8, which is all a request can hold
    if (next.codePoint < 0x80 || standalone.contains(next.codePoint)) {
      ++clusters;
      at += next.length;
      continue;
    }
    // A code point that rules may join to its neighbours: utf8proc decides from here on, carrying
    // what regional-indicator pairs and emoji zero-width-joiner sequences need, until a
    // standalone code point leaves nothing to carry. Its state starts afresh (0) at the code point
    // before, as at the start of a text.
    auto previous = codePointBefore(begin, at);
    std::int32_t state = 0;
    for (;;) {
      const auto codePoint = static_cast<std::int32_t>(next.codePoint);
      if (previous < 0 || utf8proc_grapheme_break_stateful(previous, codePoint, &state)) {
        ++clusters;
      }
      previous = codePoint;
      at += next.length;
      if (standalone.contains(next.codePoint)) break;
      if (at == end || clusters == stopAt) return clusters;
      next = decode(at, end);
      if (next.length == 0) return clusters;
    }
  }
  return clusters;
}

}  // namespace tarnel
