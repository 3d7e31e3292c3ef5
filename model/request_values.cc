#include "model/request_values.h"

#include <cmath>

namespace tarnel {

namespace {

// 2^63 as a double: the first whole number past the signed 64-bit range.
constexpr double kTwoToThe63 = 9223372036854775808.0;

std::optional<std::int64_t> wholeNumber(double real) {
  if (!std::isfinite(real) || std::trunc(real) != real) return std::nullopt;
  if (real < -kTwoToThe63 || real >= kTwoToThe63) return std::nullopt;
  return static_cast<std::int64_t>(real);
}

}  // namespace

std::optional<std::int64_t> acceptInteger(const Value* value) {
  if (value == nullptr) return std::nullopt;
  if (const auto* integer = value->get<std::int64_t>()) return *integer;
  if (const auto* real = value->get<double>()) return wholeNumber(*real);
  return std::nullopt;
}

std::optional<bool> acceptBoolean(const Value* value) {
  if (value == nullptr) return std::nullopt;
  if (const auto* boolean = value->get<bool>()) return *boolean;
  const auto number = acceptInteger(value);
  if (number == 0) return false;
  if (number == 1) return true;
  return std::nullopt;
}

const std::string* acceptString(const Value* value) {
  return value == nullptr ? nullptr : value->get<std::string>();
}

const Bytes* acceptData(const Value* value) {
  return value == nullptr ? nullptr : value->get<Bytes>();
}

const Dictionary* acceptDictionary(const Value* value) {
  return value == nullptr ? nullptr : value->get<Dictionary>();
}

}  // namespace tarnel
