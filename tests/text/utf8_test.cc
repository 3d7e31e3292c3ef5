#include "text/utf8.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/unicode_reference.h"

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

using Bytes = std::vector<std::uint8_t>;

// `sequence` alone, and at every offset of an ASCII text long enough for every word that the
// validator reads at once to hold it, with ASCII after it too or not.
void expectAgreementAtEveryOffset(const Bytes& sequence) {
  constexpr std::size_t kOffsets = 40;
  Bytes text;
  for (std::size_t offset = 0; offset < kOffsets; ++offset) {
    for (const std::size_t tail : {0, 9}) {
      text.assign(offset, 'a');
      text.insert(text.end(), sequence.begin(), sequence.end());
      text.insert(text.end(), tail, 'a');
      ASSERT_EQ(isValidUtf8(text), reference::isValidUtf8(text))
          << testing::PrintToString(sequence) << " after " << offset << " ASCII bytes";
    }
  }
}

// Every sequence of one to three bytes, every four-byte one whose last two bytes are at the edges
// of the ranges that decide validity, and random texts: each as the plain reference judges it.
TEST(Utf8, AgreesWithAPlainValidator) {
  for (unsigned first = 0; first < 256; ++first) {
    expectAgreementAtEveryOffset({static_cast<std::uint8_t>(first)});
    for (unsigned second = 0; second < 256; ++second) {
      const Bytes pair{static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
      ASSERT_EQ(isValidUtf8(pair), reference::isValidUtf8(pair)) << testing::PrintToString(pair);
      for (unsigned third = 0; third < 256; ++third) {
        const Bytes triple{pair[0], pair[1], static_cast<std::uint8_t>(third)};
        ASSERT_EQ(isValidUtf8(triple), reference::isValidUtf8(triple))
            << testing::PrintToString(triple);
      }
      for (const std::uint8_t third : {0x00, 0x7f, 0x80, 0xbf, 0xc0, 0xff}) {
        for (const std::uint8_t fourth : {0x00, 0x7f, 0x80, 0xbf, 0xc0, 0xff}) {
          const Bytes quad{pair[0], pair[1], third, fourth};
          ASSERT_EQ(isValidUtf8(quad), reference::isValidUtf8(quad))
              << testing::PrintToString(quad);
        }
      }
      if (first >= 0xc0) expectAgreementAtEveryOffset(pair);
    }
  }
  // Random valid texts, ASCII runs and sequences of every length mixed, most then spoilt by a byte.
  constexpr std::uint32_t kFirstOfLength[] = {0x80, 0x800, 0x10000, 0x110000};
  std::mt19937 random(29);
  Bytes text;
  for (int round = 0; round < 20000; ++round) {
    text.clear();
    for (auto pieces = random() % 24; pieces > 0; --pieces) {
      const auto length = random() % 4;
      if (length == 0) {
        text.insert(text.end(), random() % 40, 'a');
        continue;
      }
      const auto first = kFirstOfLength[length - 1];
      auto codePoint = first + random() % (kFirstOfLength[length] - first);
      if (codePoint >= 0xd800 && codePoint < 0xe000) codePoint -= 0x800;  // not a surrogate
      utf8proc_uint8_t bytes[4];
      const auto written = utf8proc_encode_char(static_cast<utf8proc_int32_t>(codePoint), bytes);
      text.insert(text.end(), bytes, bytes + written);
    }
    if (!text.empty() && round % 4 != 0) text[random() % text.size()] = random() % 256;
    ASSERT_EQ(isValidUtf8(text), reference::isValidUtf8(text)) << testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace tarnel
