#include "platform/linux/wire/cbor_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tarnel::linux_platform {
namespace {

Bytes hex(std::string_view text) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

Bytes nested(std::size_t depth) {
  Bytes bytes(depth, 0x81);  // arrays of one item
  bytes.push_back(0x00);
  return bytes;
}

TEST(CborCodecTest, EncodesInTheShortestFormAndKeepsRealsApart) {
  const struct {
    Value value;
    std::string_view encoding;
  } cases[] = {
      {Value(0), "00"},
      {Value(23), "17"},
      {Value(24), "1818"},
      {Value(256), "190100"},
      {Value(65536), "1a00010000"},
      {Value(std::int64_t{1} << 32), "1b0000000100000000"},
      {Value(-1), "20"},
      {Value(-25), "3818"},
      {Value(std::numeric_limits<std::int64_t>::min()), "3b7fffffffffffffff"},
      {Value(2.0), "fb4000000000000000"},
      {Value(true), "f5"},
      {Value(false), "f4"},
      {Value(Null{}), "f6"},
      {Value(""), "60"},
      {Value("é"), "62c3a9"},
      {Value(Bytes{1, 2}), "420102"},
      {Value(Array{Value(1), Value("a")}), "82016161"},
      {Value(Dictionary{{2, ""}}), "a10260"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encodeCbor(c.value), hex(c.encoding)) << c.encoding;
    const auto decoded = decodeCbor(hex(c.encoding));
    ASSERT_TRUE(decoded.has_value()) << c.encoding;
    EXPECT_EQ(*decoded, c.value) << c.encoding;
  }
}

TEST(CborCodecTest, RoundTripsARequestWithKeysOfEveryKind) {
  Dictionary keys{{Value(1), "integer"},    {Value(1.0), "real"}, {Value(true), "boolean"},
                  {Value(Null{}), "null"},  {Value("1"), "text"}, {Value(Bytes{1}), "bytes"},
                  {Value(Array{}), "array"}};
  const Value request = Dictionary{{1, Dictionary{{"privileged", true},
                                                  {"authData", Bytes(32, 7)},
                                                  {"string", std::string(70000, 'x')},
                                                  {"keys", keys}}}};
  const auto decoded = decodeCbor(encodeCbor(request));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, request);
}

TEST(CborCodecTest, ReadsEveryWidthOfHeadAndFloat) {
  const struct {
    std::string_view encoding;
    Value value;
  } cases[] = {
      {"1801", Value(1)},  // a longer head than needed
      {"1b7fffffffffffffff", Value(std::numeric_limits<std::int64_t>::max())},
      {"f93c00", Value(1.0)},      // half precision
      {"fa3fc00000", Value(1.5)},  // single precision
      {"7801"
       "61",
       Value("a")},
      {"a0", Value(Dictionary{})},
      {"80", Value(Array{})},
  };
  for (const auto& c : cases) {
    const auto decoded = decodeCbor(hex(c.encoding));
    ASSERT_TRUE(decoded.has_value()) << c.encoding;
    EXPECT_EQ(*decoded, c.value) << c.encoding;
  }
}

TEST(CborCodecTest, RefusesWhatBreaksTheRules) {
  const struct {
    std::string_view encoding;
    CborError error;
  } cases[] = {
      {"", CborError::truncated},
      {"18", CborError::truncated},
      {"6261", CborError::truncated},
      {"8201", CborError::truncated},
      {"a101", CborError::truncated},
      // Counts far beyond the bytes that follow.
      {"9affffffff00", CborError::truncated},
      {"bb7fffffffffffffff0000", CborError::truncated},
      {"a30102030405", CborError::truncated},  // three entries need six items
      {"5bffffffffffffffff00", CborError::truncated},
      {"7a7fffffff61", CborError::truncated},
      {"0100", CborError::trailingBytes},
      {"a0a0", CborError::trailingBytes},
      {"a201010102", CborError::duplicateKey},
      {"a2616101616102", CborError::duplicateKey},
      {"a28101018101f6", CborError::duplicateKey},
      {"a2181801"
       "1818"
       "02",
       CborError::duplicateKey},  // same key in two widths
      {"62c328", CborError::invalidText},
      {"62c080", CborError::invalidText},      // overlong
      {"63eda080", CborError::invalidText},    // surrogate
      {"64f4908080", CborError::invalidText},  // past U+10FFFF
      {"61ff", CborError::invalidText},
      {"9f00ff", CborError::malformed},  // indefinite array
      {"bfff", CborError::malformed},
      {"5f41ff", CborError::malformed},
      {"7f6161ff", CborError::malformed},
      {"ff", CborError::malformed},
      {"f7", CborError::malformed},  // undefined
      {"f0", CborError::malformed},  // simple value
      {"f820", CborError::malformed},
      {"1c", CborError::malformed},  // reserved additional information
      {"1bffffffffffffffff", CborError::malformed},
      {"3b8000000000000000", CborError::malformed},
      {"c16161", CborError::malformed},  // tags need a reader
  };
  for (const auto& c : cases) {
    const auto decoded = decodeCbor(hex(c.encoding));
    ASSERT_FALSE(decoded.has_value()) << c.encoding;
    EXPECT_EQ(decoded.error(), c.error) << c.encoding;
  }
}

TEST(CborCodecTest, KeysOfDifferentKindsAreNotDuplicates) {
  // 1, 1.0 and true are three keys, as they are three values.
  const auto decoded =
      decodeCbor(hex("a3"
                     "0160"
                     "fb3ff000000000000060"
                     "f560"));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->get<Dictionary>()->size(), 3u);
}

TEST(CborCodecTest, NestingStopsAtTheLimit) {
  EXPECT_TRUE(decodeCbor(nested(kMaximumCborDepth)).has_value());
  const auto tooDeep = decodeCbor(nested(kMaximumCborDepth + 1));
  ASSERT_FALSE(tooDeep.has_value());
  EXPECT_EQ(tooDeep.error(), CborError::tooDeep);
  // An empty container at the first level past the limit counts too.
  Bytes emptyInside(kMaximumCborDepth, 0x81);
  emptyInside.push_back(0xa0);
  EXPECT_EQ(decodeCbor(emptyInside).error(), CborError::tooDeep);
  EXPECT_EQ(decodeCbor(nested(3), 2).error(), CborError::tooDeep);
}

TEST(CborCodecTest, ItemsAreCountedKeysIncluded) {
  auto arrayOf = [](std::size_t count) {
    Bytes bytes;
    appendCborHead(bytes, 4, count);
    bytes.insert(bytes.end(), count, 0x00);
    return bytes;
  };
  EXPECT_TRUE(decodeCbor(arrayOf(kMaximumCborItems - 1)).has_value());
  EXPECT_EQ(decodeCbor(arrayOf(kMaximumCborItems)).error(), CborError::tooManyItems);

  Bytes map;
  // Its head, keys and values make one item past the limit.
  const std::size_t entries = kMaximumCborItems / 2;
  appendCborHead(map, 5, entries);
  for (std::size_t key = 0; key < entries; ++key) {
    appendCborHead(map, 0, key);
    map.push_back(0xf6);
  }
  EXPECT_EQ(decodeCbor(map).error(), CborError::tooManyItems);
}

TEST(CborCodecTest, TagsPassOnlyThroughTheReader) {
  const CborTagReader onlyTextUnder42 = [](std::uint64_t tag,
                                           Value content) -> std::optional<Value> {
    if (tag != 42 || !content.is<std::string>()) return std::nullopt;
    return Value(Array{Value("tagged"), std::move(content)});
  };
  const auto accepted = decodeCbor(hex("82"
                                       "d82a6161"
                                       "01"),
                                   kMaximumCborDepth, onlyTextUnder42);
  ASSERT_TRUE(accepted.has_value());
  EXPECT_EQ(*accepted, Value(Array{Value(Array{Value("tagged"), Value("a")}), Value(1)}));

  EXPECT_EQ(decodeCbor(hex("d82b6161"), kMaximumCborDepth, onlyTextUnder42).error(),
            CborError::malformed);
  EXPECT_EQ(decodeCbor(hex("d82a01"), kMaximumCborDepth, onlyTextUnder42).error(),
            CborError::malformed);
  EXPECT_EQ(decodeCbor(hex("d82a"), kMaximumCborDepth, onlyTextUnder42).error(),
            CborError::truncated);
  // A tag is a level of nesting of its own.
  EXPECT_EQ(decodeCbor(hex("81d82a6161"), 1, onlyTextUnder42).error(), CborError::tooDeep);
}

}  // namespace
}  // namespace tarnel::linux_platform
