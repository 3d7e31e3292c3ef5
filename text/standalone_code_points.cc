#include "text/standalone_code_points.h"

#include <utf8proc.h>

#include <map>

namespace tarnel {

namespace {

// utf8proc decides a boundary from the two code points' bound classes and a state that, after a
// code point, is that code point's own class except after a regional indicator that completes a
// pair, or after an extender or joiner that follows a pictograph. Among the classes below no two
// are ever joined: controls break on both sides; "Other" joins only what extends it or a prepend
// before it; a Hangul syllable (LV, LVT) joins only jamo (L before it, V or T after it); a
// pictograph joins only what extends it, or a pictograph after a joiner. None of those partners
// is below, and none of these classes moves the state off its own class. That is utf8proc 2.8,
// Debian 12's; later versions also weigh Indic conjunct properties, under which a conjunct's
// consonants are still "Other" and its linkers extenders. tests/text/grapheme_count_test.cc
// compares every code point with utf8proc itself, so a version for which this no longer holds
// shows there.
bool isStandalone(std::uint32_t codePoint) {
  constexpr std::uint32_t kClasses = 1u << UTF8PROC_BOUNDCLASS_OTHER |
                                     1u << UTF8PROC_BOUNDCLASS_CONTROL |
                                     1u << UTF8PROC_BOUNDCLASS_LV | 1u << UTF8PROC_BOUNDCLASS_LVT |
                                     1u << UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC;
  const auto boundClass =
      utf8proc_get_property(static_cast<utf8proc_int32_t>(codePoint))->boundclass;
  return ((kClasses >> boundClass) & 1) != 0;
}

// One bit for each of the 64 code points from `first` on.
std::uint64_t standaloneBits(std::uint32_t first) {
  std::uint64_t bits = 0;
  for (std::uint32_t offset = 0; offset < 64; ++offset) {
    bits |= std::uint64_t{isStandalone(first + offset)} << offset;
  }
  return bits;
}

}  // namespace

const StandaloneCodePoints& StandaloneCodePoints::get() {
  static const StandaloneCodePoints table;
  return table;
}

StandaloneCodePoints::StandaloneCodePoints() {
  for (std::uint32_t first = 0; first < kBmpEnd; first += 64) {
    bmp_[first >> 6] = standaloneBits(first);
  }
  std::map<Block, std::uint16_t> known;
  for (auto first = kBmpEnd; first < kCodePoints; first += 256) {
    const Block block{standaloneBits(first), standaloneBits(first + 64),
                      standaloneBits(first + 128), standaloneBits(first + 192)};
    const auto [entry, added] =
        known.try_emplace(block, static_cast<std::uint16_t>(blocks_.size()));
    if (added) blocks_.push_back(block);
    blockOf_[(first - kBmpEnd) >> 8] = entry->second;
  }
}

}  // namespace tarnel
