#include "model/grapheme_count.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace tarnel
