// The grapheme count and the UTF-8 check of text/, against their plain forms
// (tests/support/unicode_reference.h). The input is judged as bytes by both validators. Then it
// is counted, under several limits, as a text when it is valid UTF-8, and always as a recipe for
// one: each byte below the palette's size is a code point that the break rules treat specially,
// other ASCII bytes are themselves, and any other byte and the two after it are a code point
// anywhere in the code space.
#include <utf8proc.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/finding.h"
#include "tests/support/unicode_reference.h"
#include "text/grapheme_count.h"
#include "text/utf8.h"

namespace {

using namespace tarnel;
using tarnel::fuzz::expect;

constexpr std::uint32_t kPalette[] = {
    '\r',    '\n',    0x01,    0x85,             // controls
    0x0301,  0xfe0f,  0x3099,  0xff9e,           // extenders
    0x200d,                                      // zero-width joiner
    0x1f468, 0x00a9,  0x1f44d, 0x1f3fd,          // pictographs and an emoji modifier
    0x1f1eb, 0x1f1f7,                            // regional indicators
    0x0915,  0x094d,  0x093f,  0x0903,           // Devanagari: consonant, virama, spacing marks
    0x0600,  0x0d4e,                             // prepends
    0x1100,  0x1161,  0x11a8,  0xac00,  0xac01,  // Hangul: L, V, T, LV, LVT
    0x4e2d,  0x3042,  0x0416,  0x0628,           // CJK, Hiragana, Cyrillic, Arabic
};

void append(std::string& text, std::uint32_t codePoint) {
  utf8proc_uint8_t bytes[4];
  const auto length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(codePoint), bytes);
  text.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

std::string textFrom(std::span<const std::uint8_t> recipe) {
  std::string text;
  for (std::size_t i = 0; i < recipe.size(); ++i) {
    const auto byte = recipe[i];
    if (byte < std::size(kPalette)) {
      append(text, kPalette[byte]);
    } else if (byte < 0x80) {
      text.push_back(static_cast<char>(byte));
    } else {
      std::uint32_t codePoint = byte & 0x1f;
      for (int more = 0; more < 2 && i + 1 < recipe.size(); ++more) {
        codePoint = (codePoint << 8) | recipe[++i];
      }
      codePoint %= 0x110000;
      if (codePoint >= 0xd800 && codePoint < 0xe000) codePoint -= 0x800;  // not a surrogate
      append(text, codePoint);
    }
  }
  return text;
}

void expectCountedAsUtf8procCounts(std::string_view text) {
  const auto clusters = reference::graphemeClusters(text);
  for (const auto limit : {std::numeric_limits<std::size_t>::max(), clusters + 1, clusters,
                           clusters / 2, std::size_t{1}, std::size_t{0}}) {
    expect(countGraphemeClusters(text, limit) == std::min(clusters, limit),
           "countGraphemeClusters differs from utf8proc asked at every code point");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const bool valid = isValidUtf8(bytes);
  expect(valid == reference::isValidUtf8(bytes), "isValidUtf8 differs from the plain validator");
  const std::string_view asText(reinterpret_cast<const char*>(data), size);
  if (valid) {
    expectCountedAsUtf8procCounts(asText);
  } else {
    // Of bytes that are not UTF-8 the count is unspecified, but it must read none past them.
    countGraphemeClusters(asText, size);
  }
  expectCountedAsUtf8procCounts(textFrom(bytes));
  return 0;
}
