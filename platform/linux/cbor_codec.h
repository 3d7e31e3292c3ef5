// Property-list values to and from CBOR (RFC 8949), holding every peer to our own limits: a
// declared count larger than the bytes left, nesting past the limit, duplicate map keys, invalid
// UTF-8 text and trailing bytes are refused before anything is allocated for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "model/value.h"

namespace tarnel::linux_platform {

inline constexpr std::size_t kMaximumCborDepth = 64;

enum class CborError {
  malformed,      // not well-formed CBOR, or a kind no value has (undefined, a simple value)
  truncated,      // the bytes end inside an item, or a count exceeds the bytes that follow
  tooDeep,        // arrays and maps nested deeper than the limit
  duplicateKey,   // one map holds two equal keys
  invalidText,    // a text string that is not valid UTF-8
  trailingBytes,  // bytes after the one item
};

// The one item that `bytes` holds, entirely.
std::expected<Value, CborError> decodeCbor(std::span<const std::uint8_t> bytes,
                                           std::size_t maximumDepth = kMaximumCborDepth);

// The CBOR item for `value`: definite lengths, integers and floating point kept apart (a real
// number that is whole stays floating point).
Bytes encodeCbor(const Value& value);

}  // namespace tarnel::linux_platform
