#include "platform/linux/posix/message_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnel::linux_platform {
namespace {

TEST(MessageTextTest, PlaceholdersAreFilledInAndNothingElse) {
  const struct {
    std::string_view text;
    std::string filled;
  } cases[] = {
      {"cannot open {s}: {e}", "cannot open /etc/x: Permission denied"},
      {"larger than {n} bytes", "larger than 64 bytes"},
      {"{s}{s}", "/etc/x/etc/x"},
      // A letter no placeholder has stands for nothing.
      {"a{x}b", "ab"},
      // Braces that make no whole placeholder stay, at the end of the text too.
      {"{ss} {s", "{ss} {s"},
      {"ends in {", "ends in {"},
      {"ends in {s", "ends in {s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(filledIn(c.text, {{'s', "/etc/x"}, {'e', "Permission denied"}, {'n', "64"}}),
              c.filled)
        << c.text;
  }
}

enum class Kind { first, second, third };

TEST(MessageTextTest, EachKindHasItsTextAndATableMissingOneIsTold) {
  constexpr MessageText<Kind> complete[] = {
      {Kind::second, "two"}, {Kind::first, "one"}, {Kind::third, "three"}};
  constexpr MessageText<Kind> missing[] = {{Kind::first, "one"}, {Kind::third, "three"}};
  constexpr MessageText<Kind> repeated[] = {
      {Kind::first, "one"}, {Kind::third, "three"}, {Kind::third, "three"}};
  static_assert(everyKindHasOneText(complete, Kind::third));
  static_assert(!everyKindHasOneText(missing, Kind::third));
  static_assert(!everyKindHasOneText(repeated, Kind::third));
  EXPECT_EQ(textOf(complete, Kind::first), "one");
  EXPECT_EQ(textOf(complete, Kind::third), "three");
  EXPECT_DEATH(textOf(missing, Kind::second), "");
}

}  // namespace
}  // namespace tarnel::linux_platform
