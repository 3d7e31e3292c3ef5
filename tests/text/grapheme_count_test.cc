#include "text/grapheme_count.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/unicode_reference.h"

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
      {"Hangul syllable and a trailing jamo", "\xEA\xB0\x80\xE1\x86\xA8", 1},
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

// ASCII characters and standalone code points are counted without asking utf8proc: every sequence
// of four pieces, of those or of a class whose rules reach across neighbours, counts as utf8proc
// counts it, with and without a limit.
TEST(GraphemeCount, AgreesWithUtf8procOnEverySequenceOfFourPieces) {
  const std::vector<std::string> pieces = {
      "a",
      "#",
      "\r",
      "\n",
      "launchd.plist",  // longer than a word of eight
      "\r\n\r\n\r",
      "\x01",              // a control character
      "\xC2\x85",          // next line (a control character past ASCII)
      "\xCC\x81",          // combining acute accent (extend)
      "\xEF\xB8\x8F",      // variation selector 16 (extend)
      "\xE2\x80\x8D",      // zero-width joiner
      "\xF0\x9F\x91\xA8",  // man (extended pictographic)
      "\xC2\xA9",          // copyright sign (extended pictographic)
      "\xF0\x9F\x8F\xBD",  // emoji modifier
      "\xF0\x9F\x87\xAB",  // regional indicator F
      "\xE0\xA4\x95",      // Devanagari KA (conjunct consonant)
      "\xE0\xA5\x8D",      // Devanagari virama (conjunct linker)
      "\xE0\xA4\xBF",      // Devanagari vowel sign I (spacing mark)
      "\xD8\x80",          // Arabic number sign (prepend)
      "\xD8\xA8",          // Arabic BEH
      "\xD0\x96",          // Cyrillic ZHE
      "\xE4\xB8\xAD",      // CJK ideograph
      "\xE3\x81\x82",      // Hiragana A
      "\xE1\x84\x80",      // Hangul leading consonant (L)
      "\xE1\x85\xA1",      // Hangul vowel (V)
      "\xE1\x86\xA8",      // Hangul trailing consonant (T)
      "\xEA\xB0\x80",      // Hangul syllable GA (LV)
      "\xEA\xB0\x81",      // Hangul syllable GAG (LVT)
  };
  std::string text;
  for (const auto& first : pieces) {
    for (const auto& second : pieces) {
      for (const auto& third : pieces) {
        for (const auto& fourth : pieces) {
          text = first + second + third + fourth;
          const auto expected = reference::graphemeClusters(text);
          ASSERT_EQ(countGraphemeClusters(text, kNoLimit), expected) << text;
          for (const std::size_t limit : {2, 9}) {
            ASSERT_EQ(countGraphemeClusters(text, limit), std::min(expected, limit)) << text;
          }
        }
      }
    }
  }
}

std::string encoded(std::uint32_t codePoint) {
  utf8proc_uint8_t bytes[4];
  const auto length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(codePoint), bytes);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

struct Neighbours {
  const char* name;
  std::string before;
  std::string after;
};

void PrintTo(const Neighbours& neighbours, std::ostream* out) { *out << neighbours.name; }

class GraphemeCountOfEveryCodePoint : public testing::TestWithParam<Neighbours> {};

// Every code point, between the neighbours that the break rules weigh, counts as utf8proc counts
// it: that decides whether the table marks a code point standalone that utf8proc joins to one.
// Code points are put together a block of 256 to a text (so each also meets the next one's
// neighbour), and a block that differs is searched for its code point.
TEST_P(GraphemeCountOfEveryCodePoint, AgreesWithUtf8proc) {
  const auto& [name, before, after] = GetParam();
  std::string text;
  for (std::uint32_t first = 0; first < 0x110000; first += 256) {
    if (first >= 0xd800 && first < 0xe000) continue;  // surrogates are no UTF-8
    text.clear();
    for (auto codePoint = first; codePoint < first + 256; ++codePoint) {
      text += before + encoded(codePoint) + after;
    }
    if (countGraphemeClusters(text, kNoLimit) == reference::graphemeClusters(text)) continue;
    for (auto codePoint = first; codePoint < first + 256; ++codePoint) {
      const auto alone = before + encoded(codePoint) + after;
      ASSERT_EQ(countGraphemeClusters(alone, kNoLimit), reference::graphemeClusters(alone))
          << "U+" << std::hex << codePoint;
    }
    FAIL() << "the block from U+" << std::hex << first << " differs only as a whole";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Neighbours, GraphemeCountOfEveryCodePoint,
    testing::Values(
        Neighbours{"Ascii", "a", "a"}, Neighbours{"CrLf", "\r", "\n"},
        Neighbours{"Ideographs", "\xE4\xB8\xAD", "\xE4\xB8\xAD"},
        Neighbours{"HangulSyllables", "\xEA\xB0\x80", "\xEA\xB0\x81"},
        Neighbours{"HangulLeadingAndVowelJamo", "\xE1\x84\x80", "\xE1\x85\xA1"},
        Neighbours{"HangulVowelAndTrailingJamo", "\xE1\x85\xA1", "\xE1\x86\xA8"},
        Neighbours{"CombiningMarks", "a\xCC\x81", "\xCC\x81"},
        Neighbours{"ZeroWidthJoiners", "\xE2\x80\x8D", "\xE2\x80\x8D"},
        Neighbours{"EmojiZwjSequence", "\xF0\x9F\x91\xA8\xE2\x80\x8D",
                   "\xE2\x80\x8D\xF0\x9F\x91\xA9"},
        Neighbours{"EmojiModifiers", "\xF0\x9F\x91\x8D", "\xF0\x9F\x8F\xBD"},
        Neighbours{"RegionalIndicators", "\xF0\x9F\x87\xAB", "\xF0\x9F\x87\xB7"},
        Neighbours{"AfterAFlag", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", "\xF0\x9F\x87\xA9"},
        Neighbours{"IndicConjunctLinkers", "\xE0\xA4\x95\xE0\xA5\x8D", "\xE0\xA5\x8D\xE0\xA4\x95"},
        Neighbours{"PrependAndSpacingMark", "\xD8\x80", "\xE0\xA4\x83"}),
    [](const testing::TestParamInfo<Neighbours>& each) { return std::string(each.param.name); });

}  // namespace
}  // namespace tarnel
