// Property-list values to and from CBOR (RFC 8949), holding every peer to our own limits: a
// declared count larger than the bytes left, nesting past the limit, duplicate map keys, invalid
// UTF-8 text and trailing bytes are refused before anything is allocated for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>

#include "model/value.h"

namespace tarnel::linux_platform {

inline constexpr std::size_t kMaximumCborDepth = 64;
// Data items in one decoded value, keys included: each costs far more memory than its byte, so
// the count, not only the frame length, bounds what a peer can make the decoder allocate.
inline constexpr std::size_t kMaximumCborItems = 65536;

enum class CborError {
  malformed,      // not well-formed CBOR, an indefinite length, or a kind no value has (undefined,
                  // a simple value, an integer outside the signed 64-bit range, a refused tag)
  truncated,      // the bytes end inside an item, or a count exceeds the bytes that follow
  tooDeep,        // arrays, maps and tags nested deeper than the limit
  duplicateKey,   // one map holds two keys of the same kind and value
  invalidText,    // a text string that is not valid UTF-8
  trailingBytes,  // bytes after the one item
  tooManyItems,   // more data items than kMaximumCborItems
};

// Given a tag's number and the value it encloses, the value to stand in its place, or nothing to
// refuse the tag. Without one, every tag is refused.
using CborTagReader = std::function<std::optional<Value>(std::uint64_t tag, Value content)>;

// The one item that `bytes` holds, entirely.
std::expected<Value, CborError> decodeCbor(std::span<const std::uint8_t> bytes,
                                           std::size_t maximumDepth = kMaximumCborDepth,
                                           const CborTagReader& readTag = {});

// The CBOR item for `value`: definite lengths, shortest integer heads, integers and floating point
// kept apart (a real number that is whole stays floating point, always as a 64-bit float).
Bytes encodeCbor(const Value& value);

// Appends the head of a data item: its major type (0 to 7) and its argument, in the shortest form.
void appendCborHead(Bytes& out, std::uint8_t majorType, std::uint64_t argument);

}  // namespace tarnel::linux_platform
