// Values written in CBOR diagnostic notation (RFC 8949, section 8), on one line, so that a
// reader sees every kind kept apart: 2 and 2.0, "" and h'', a map's keys as they are.
#pragma once

#include <string>

#include "model/value.h"

namespace tarnel::tarnelctl {

std::string diagnosticNotation(const Value& value);

}  // namespace tarnel::tarnelctl
