#include "model/request_values.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarnel {
namespace {

struct NumberCase {
  const char* name;
  Value value;
  std::optional<std::int64_t> integer;
  std::optional<bool> boolean;
};

TEST(RequestValues, NumbersAsIntegersAndBooleans) {
  const NumberCase cases[] = {
      {"integer 0", Value(0), 0, false},
      {"integer 1", Value(1), 1, true},
      {"integer 2", Value(2), 2, std::nullopt},
      {"integer -1", Value(-1), -1, std::nullopt},
      {"real 2.0", Value(2.0), 2, std::nullopt},
      {"real 1.0", Value(1.0), 1, true},
      {"real 0.0", Value(0.0), 0, false},
      {"real -0.0", Value(-0.0), 0, false},
      {"real 2.5", Value(2.5), std::nullopt, std::nullopt},
      {"real 0.5", Value(0.5), std::nullopt, std::nullopt},
      {"real NaN", Value(std::numeric_limits<double>::quiet_NaN()), std::nullopt, std::nullopt},
      {"real infinity", Value(std::numeric_limits<double>::infinity()), std::nullopt,
       std::nullopt},
      {"real 2^63", Value(9223372036854775808.0), std::nullopt, std::nullopt},
      {"real -2^63", Value(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min(),
       std::nullopt},
      {"Boolean true", Value(true), std::nullopt, true},
      {"Boolean false", Value(false), std::nullopt, false},
      {"string \"2\"", Value("2"), std::nullopt, std::nullopt},
      {"string \"true\"", Value("true"), std::nullopt, std::nullopt},
      {"null", Value(), std::nullopt, std::nullopt},
      {"data", Value(Bytes{1}), std::nullopt, std::nullopt},
      {"array", Value(Array{Value(1)}), std::nullopt, std::nullopt},
      {"dictionary", Value(Dictionary{}), std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(acceptInteger(&c.value), c.integer) << c.name;
    EXPECT_EQ(acceptBoolean(&c.value), c.boolean) << c.name;
  }
}

TEST(RequestValues, EachOtherKindAcceptsOnlyItself) {
  const Value text("x"), empty(""), data(Bytes{}), dictionary(Dictionary{}), number(1);
  EXPECT_EQ(*acceptString(&text), "x");
  EXPECT_EQ(*acceptString(&empty), "");
  EXPECT_EQ(acceptString(&number), nullptr);
  EXPECT_EQ(acceptString(&data), nullptr);
  EXPECT_NE(acceptData(&data), nullptr);
  EXPECT_EQ(acceptData(&text), nullptr);
  EXPECT_NE(acceptDictionary(&dictionary), nullptr);
  EXPECT_EQ(acceptDictionary(&text), nullptr);
}

TEST(RequestValues, AMissingKeyIsRefusedByEveryRule) {
  EXPECT_EQ(acceptInteger(nullptr), std::nullopt);
  EXPECT_EQ(acceptBoolean(nullptr), std::nullopt);
  EXPECT_EQ(acceptString(nullptr), nullptr);
  EXPECT_EQ(acceptData(nullptr), nullptr);
  EXPECT_EQ(acceptDictionary(nullptr), nullptr);
}

}  // namespace
}  // namespace tarnel
