#include "platform/linux/posix/escaped_log.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnel::linux_platform {
namespace {

TEST(EscapedLogTest, EveryControlCharacterAndNothingElseIsEscaped) {
  const struct {
    std::string text;
    std::string logged;
  } cases[] = {
      {"right\nauthorityd: granted", "right\\x0aauthorityd: granted"},
      {"a\rb\tc\vd\fe", "a\\x0db\\x09c\\x0bd\\x0ce"},
      {std::string("nul\0after", 9), "nul\\x00after"},
      {"\x1b[2J\x07", "\\x1b[2J\\x07"},
      {"\x1f\x7f", "\\x1f\\x7f"},
      // C1 controls in UTF-8: NEL, which some readers take for a line end, and CSI.
      {"a\xc2\x85"
       "b\xc2\x9b"
       "2J",
       "a\\xc2\\x85b\\xc2\\x9b2J"},
      {"\xc2\x80\xc2\x9f", "\\xc2\\x80\\xc2\\x9f"},
      // Not controls: printable ASCII, a no-break space, other UTF-8, bytes that are not UTF-8.
      {" ~/path with spaces", " ~/path with spaces"},
      {"\xc2\xa0\xc3\xa9\xe2\x80\xa8", "\xc2\xa0\xc3\xa9\xe2\x80\xa8"},
      {"\xc2"
       "A\xff\xc2",
       "\xc2"
       "A\xff\xc2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escapeControlCharacters(c.text), c.logged) << c.logged;
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
