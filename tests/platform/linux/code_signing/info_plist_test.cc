// Reading an information dictionary: what it becomes among the helper's values, and the documents
// that are refused rather than read, a NUL character among them, on which libplist would end the
// process.
#include "platform/linux/code_signing/info_plist.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnel::linux_platform {
namespace {

std::optional<Dictionary> parse(const std::string& xml) {
  return parseInfoDictionary({reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()});
}

std::string plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body +
         "</plist>\n";
}

TEST(InfoPlist, ReadsTheDictionaryIntoValues) {
  const auto info =
      parse(plist("<dict><key>CFBundleShortVersionString</key><string>8.0</string>"
                  "<key>Count</key><integer>-3</integer><key>On</key><true/>"
                  "<key>Clients</key><array><string>a</string></array>"
                  "<key>Blob</key><data>AAE=</data></dict>"));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(*info, (Dictionary{{"CFBundleShortVersionString", "8.0"},
                               {"Count", -3},
                               {"On", true},
                               {"Clients", Array{"a"}},
                               {"Blob", Bytes{0, 1}}}));
}

TEST(InfoPlist, RefusesWhatIsNoDictionaryOrCannotBeReadSafely) {
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "<array>";
  for (int i = 0; i < 40; ++i) deep += "</array>";
  const struct {
    const char* name;
    std::string xml;
  } cases[] = {
      {"empty", ""},
      {"not XML", "CFBundleShortVersionString = 8.0;"},
      {"an array at the top", plist("<array/>")},
      {"nested too deeply", plist("<dict><key>Deep</key>" + deep + "</dict>")},
      {"larger than the limit", plist("<dict><key>Big</key><string>" +
                                      std::string(kMaxInfoPlistLength, 'x') + "</string></dict>")},
      {"a NUL character in a string",
       plist("<dict><key>CFBundleShortVersionString</key><string>8.0" + std::string(1, '\0') +
             "x</string></dict>")},
      {"a NUL character in a key",
       plist("<dict><key>CFBundle" + std::string(1, '\0') + "Name</key><string>x</string></dict>")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(parse(c.xml).has_value());
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
