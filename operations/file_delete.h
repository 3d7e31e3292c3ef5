// Deleting one item at a path, a folder with its content, for the delete request and the test run.
#pragma once

#include <expected>
#include <string>

#include "model/value.h"
#include "platform/platform.h"

namespace tarnel {

// Success when the item at `path` was removed; otherwise logs the delete message with the path and
// fails with the makeNSErrorReply reply of the removal's error.
std::expected<void, Dictionary> deleteFile(Platform& platform, const std::string& path);

}  // namespace tarnel
