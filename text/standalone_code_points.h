// The code points that utf8proc never joins to one another: between any two of them it finds a
// grapheme cluster boundary whatever came before, and after one of them its break state is what
// it would be at the start of a text beginning with that code point. So a run of them is one
// cluster per code point, and a count need not ask utf8proc about it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tarnel {

class StandaloneCodePoints {
 public:
  // The table, built from utf8proc's own properties at the first call, once per process.
  static const StandaloneCodePoints& get();

  bool contains(std::uint32_t codePoint) const {
    if (codePoint < kBmpEnd) return containsBelow0x10000(codePoint);
    if (codePoint >= kCodePoints) return false;
    const auto& block = blocks_[blockOf_[(codePoint - kBmpEnd) >> 8]];
    return ((block[(codePoint >> 6) & 3] >> (codePoint & 63)) & 1) != 0;
  }

  bool containsBelow0x10000(std::uint32_t codePoint) const {
    return ((bmp_[codePoint >> 6] >> (codePoint & 63)) & 1) != 0;
  }

 private:
  static constexpr std::uint32_t kBmpEnd = 0x10000;
  static constexpr std::uint32_t kCodePoints = 0x110000;
  // One bit per code point of a block of 256.
  using Block = std::array<std::uint64_t, 4>;

  StandaloneCodePoints();

  // Text is mostly in the Basic Multilingual Plane, whose code points UTF-8 writes in at most
  // three bytes: they have a plain bitmap (8 KB), read in one step.
  std::array<std::uint64_t, kBmpEnd / 64> bmp_{};
  // The planes above are mostly unassigned or private use, so each distinct block of them is
  // kept once: a few dozen of the 4096.
  std::array<std::uint16_t, (kCodePoints - kBmpEnd) / 256> blockOf_{};
  std::vector<Block> blocks_;
};

}  // namespace tarnel
