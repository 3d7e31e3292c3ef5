// Values written as JSON (RFC 8259) on one line, for scripts that read tarnelctl's --format json.
// JSON has fewer kinds than a property list: a dictionary's key that is not text is written as
// its CBOR diagnostic notation ({2: ""} becomes {"2": ""}), byte data as text in lowercase hex,
// and a floating-point number that is not finite as null.
#pragma once

#include <string>

#include "model/value.h"

namespace tarnel::tarnelctl {

std::string jsonNotation(const Value& value);

}  // namespace tarnel::tarnelctl
