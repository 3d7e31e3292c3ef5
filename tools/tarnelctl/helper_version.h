// A helper's version, its information dictionary's CFBundleVersion, as codesign --display shows
// it, and the order of two versions. tarnelctl reads no executable itself: it links no
// code-signing library, so it asks the platform's codesign.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace tarnel::tarnelctl {

// The CFBundleVersion in the information dictionary that `display` (codesign --display's output)
// shows; nothing when it shows none, or one that is not numbers joined by dots.
std::optional<std::string> bundleVersionIn(std::string_view display);

// The order of two versions that bundleVersionIn gave, number by number ("423" < "1000",
// "8.0" == "8", "8.0.1" > "8.0").
std::strong_ordering compareVersions(std::string_view left, std::string_view right);

}  // namespace tarnel::tarnelctl
