// What a platform error object carries: a domain, a code, a description and an optional
// recovery suggestion. File errors use the "NSCocoaErrorDomain" codes that a client of the
// original platform would see for the same failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnel {

struct PlatformError {
  std::string domain;
  std::int64_t code = 0;
  std::string description;
  std::optional<std::string> recoverySuggestion;

  bool operator==(const PlatformError&) const = default;
};

inline constexpr const char* cocoaErrorDomain = "NSCocoaErrorDomain";

// The file error codes of "NSCocoaErrorDomain".
enum class CocoaFileError : std::int64_t {
  noSuchFile = 4,
  writeUnknown = 512,
  readNoSuchFile = 260,
  readNoPermission = 257,
  readUnknown = 256,
  readInapplicableStringEncoding = 261,
  writeNoPermission = 513,
  writeFileExists = 516,
  writeOutOfSpace = 640,
  writeVolumeReadOnly = 642,
};

}  // namespace tarnel
