#include "platform/linux/posix/number_parsing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnel::linux_platform {
namespace {

// What the kernel, a file or a peer wrote is a number only when the whole text is one, in range.
TEST(NumberParsingTest, TakesTheWholeTextOrNothing) {
  const struct {
    std::string_view text;
    std::optional<std::uint32_t> number;
  } cases[] = {
      {"0", 0u},
      {"4294967295", 4294967295u},
      {"4294967296", std::nullopt},
      {"", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"1\n", std::nullopt},
      {"0x10", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseNumber<std::uint32_t>(c.text), c.number) << c.text;
  EXPECT_EQ(parseNumber<unsigned>("ff", 16), 255u);
  EXPECT_EQ(parseNumber<unsigned char>("100", 16), std::nullopt);
  EXPECT_EQ(parseNumber<int>("-78"), -78);
}

}  // namespace
}  // namespace tarnel::linux_platform
