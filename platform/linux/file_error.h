// The platform's file errors for POSIX failures: the "NSCocoaErrorDomain" code that a client of
// the original platform would see for the same failure, and the POSIX reason with the path as
// the description.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/platform_error.h"

namespace tarnel::linux_platform {

// The platform's codes differ for the same POSIX failure between reading (a file's text, a
// folder's listing) and changing the file system (writing, setting owners, removing).
enum class FileAccess { reading, writing };

// Codes of the domain that CocoaFileError has no name for.
inline constexpr std::int64_t kReadInvalidFileNameCode = 258;
inline constexpr std::int64_t kReadTooLargeCode = 263;
inline constexpr std::int64_t kWriteInvalidFileNameCode = 514;

// The error for a failed system call that set `errorNumber`.
PlatformError fileError(FileAccess access, int errorNumber, const std::string& path);

// An error that no POSIX error number names, with its own code and reason.
PlatformError fileError(std::int64_t code, std::string_view reason, const std::string& path);

// A path that holds a NUL byte names no file the system can reach: it would be cut short.
PlatformError invalidFileName(FileAccess access, const std::string& path);

}  // namespace tarnel::linux_platform
