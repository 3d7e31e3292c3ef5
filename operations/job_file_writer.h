// Writing a job's property list text to the path a request names, owned by root and group wheel
// for privileged requests.
#pragma once

#include <expected>
#include <string>

#include "model/value.h"
#include "platform/platform.h"

namespace tarnel {

// The request's privileged flag, as the writer uses it.
enum class Ownership { unchanged, rootWheel };

// Writes `text` to `path` as UTF-8, not atomically, through a final link or not as `finalLink`
// says. Success also when root:wheel cannot be set (only logged); the makeNSErrorReply reply of
// the write's error, logged with the path, when the text cannot be written.
std::expected<void, Dictionary> writeJobFile(Platform& platform, const std::string& text,
                                             const std::string& path, Ownership ownership,
                                             FinalLink finalLink);

}  // namespace tarnel
