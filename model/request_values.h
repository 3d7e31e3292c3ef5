// The acceptance rules for the values of a request. Each takes the value found under a key, or
// nullptr for a missing key, and yields what it accepts or nothing: a missing key and a value of
// the wrong kind (null included) are treated alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/value.h"

namespace tarnel {

// A number whose value is a whole number: 2 and 2.0 are 2; 2.5, "2" and true are not integers.
// Whole numbers outside the signed 64-bit range are integers no request can use, and yield nothing.
std::optional<std::int64_t> acceptInteger(const Value* value);

// A Boolean, or a number equal to 0 (false) or 1 (true).
std::optional<bool> acceptBoolean(const Value* value);

// Only text is a string; any length, the empty string included.
const std::string* acceptString(const Value* value);

// Byte data of any length, empty included.
const Bytes* acceptData(const Value* value);

const Dictionary* acceptDictionary(const Value* value);

}  // namespace tarnel
