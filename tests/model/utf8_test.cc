#include "model/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tarnel {
namespace {

std::string hex(std::string_view digits) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

TEST(Utf8, ValidatesAsTheStandardDefinesIt) {
  const struct {
    std::string_view encoding;
    bool valid;
  } cases[] = {
      {"", true},          {"7f", true},        {"c2a9", true},    {"e282ac", true},
      {"f09f9880", true},  {"f48fbfbf", true},  {"80", false},     {"c1bf", false},
      {"e080af", false},   {"f08282ac", false}, {"edbfbf", false}, {"f4908080", false},
      {"f8888080", false}, {"e282", false},     {"c2", false},     {"e228a1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUtf8(hex(c.encoding)), c.valid) << c.encoding;
}

}  // namespace
}  // namespace tarnel
