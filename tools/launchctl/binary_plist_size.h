// How large a binary property list becomes once libplist reads it. libplist gives every reference
// to an object a copy of its own, so a few hundred bytes that reference one array twice at each of
// thirty levels would become a billion values. The size is counted from the object table alone,
// building nothing, so that such a document is refused before it is read.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarnel::launchctl {

// True when the binary property list `document` can be counted (its trailer, offset table and
// object references are well formed and hold no cycle) and its objects, each reference copied,
// take no more than `limit` bytes as this counts them: a fixed cost per object plus its contents.
bool binaryPlistExpandsWithin(std::string_view document, std::uint64_t limit);

}  // namespace tarnel::launchctl
