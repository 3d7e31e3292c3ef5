#include "model/grapheme_count.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tarnel {
namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

TEST(GraphemeCount, CountsUserPerceivedCharacters) {
  const struct {
    const char* name;
    std::string text;
    std::size_t clusters;
  } cases[] = {
      {"empty", "", 0},
      {"ASCII", "launchd", 7},
      {"CR LF is one", "a\r\nb", 3},
      {"precomposed e acute", "\xC3\xA9", 1},
      {"e and a combining acute", "e\xCC\x81", 1},
      {"two combining marks", "a\xCC\x81\xCC\xA7", 1},
      {"thumbs up with skin tone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1},
      {"family joined by ZWJ",
       "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1},
      {"two flags", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", 2},
      {"Hangul syllable from jamo", "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(countGraphemeClusters(c.text, kNoLimit), c.clusters) << c.name;
  }
}

TEST(GraphemeCount, StopsAtTheLimit) {
  const std::string text(100, 'x');
  EXPECT_EQ(countGraphemeClusters(text, 10), 10u);
  EXPECT_EQ(countGraphemeClusters(text, 100), 100u);
  EXPECT_EQ(countGraphemeClusters(text, 101), 100u);
}

// The count as utf8proc gives it, asked at every code point.
std::size_t referenceCount(const std::string& text) {
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

// ASCII characters are counted without asking utf8proc: every sequence of four code points, ASCII
// or of a class whose rules reach across neighbours, counts as utf8proc counts it.
TEST(GraphemeCount, AgreesWithUtf8procAroundAscii) {
  const std::vector<std::string> pieces = {
      "a",
      "#",
      "\r",
      "\n",
      "launchd.plist",  // longer than a word of eight
      "\r\n\r\n\r",
      "\x01",              // a control character
      "\xCC\x81",          // combining acute accent (extend)
      "\xEF\xB8\x8F",      // variation selector 16 (extend)
      "\xE2\x80\x8D",      // zero-width joiner
      "\xF0\x9F\x91\xA8",  // man (extended pictographic)
      "\xC2\xA9",          // copyright sign (extended pictographic)
      "\xF0\x9F\x87\xAB",  // regional indicator F
      "\xE0\xA4\x95",      // Devanagari KA (conjunct consonant)
      "\xE0\xA5\x8D",      // Devanagari virama (conjunct linker)
      "\xE0\xA4\xBF",      // Devanagari vowel sign I (spacing mark)
      "\xD8\x80",          // Arabic number sign (prepend)
      "\xE1\x84\x80",      // Hangul leading consonant
      "\xE1\x85\xA1",      // Hangul vowel
  };
  std::string text;
  for (const auto& first : pieces) {
    for (const auto& second : pieces) {
      for (const auto& third : pieces) {
        for (const auto& fourth : pieces) {
          text = first + second + third + fourth;
          const auto expected = referenceCount(text);
          ASSERT_EQ(countGraphemeClusters(text, kNoLimit), expected) << text;
          for (const std::size_t limit : {2, 9}) {
            ASSERT_EQ(countGraphemeClusters(text, limit), std::min(expected, limit)) << text;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarnel
