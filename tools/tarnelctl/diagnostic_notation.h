// Values written in CBOR diagnostic notation (RFC 8949, section 8), on one line, so that a
// reader sees every kind kept apart: 2 and 2.0, "" and h'', a map's keys as they are.
#pragma once

#include <string>

#include "model/value.h"
#include "platform/transport.h"

namespace tarnel::tarnelctl {

std::string diagnosticNotation(const Value& value);
// An endpoint as it travels, its socket address under the endpoint tag; nil as null.
std::string diagnosticNotation(const std::optional<ListenerEndpoint>& endpoint);

}  // namespace tarnel::tarnelctl
