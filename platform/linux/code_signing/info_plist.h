// Reads an XML property list that must be a dictionary, such as an executable's information
// dictionary, into the helper's property-list values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "model/value.h"

namespace tarnel::linux_platform {

// Larger than any information dictionary; what a signature may bind.
inline constexpr std::size_t kMaxInfoPlistLength = 1024 * 1024;

// The dictionary that `xml` holds; nothing when it is not an XML property list whose top value
// is a dictionary, or is longer than kMaxInfoPlistLength, holds a NUL byte, or nests deeper than
// 32 levels.
std::optional<Dictionary> parseInfoDictionary(std::span<const std::uint8_t> xml);

}  // namespace tarnel::linux_platform
