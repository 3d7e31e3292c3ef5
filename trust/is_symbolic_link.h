// The path safety check of a test request's job file path.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tarnel {

// Whether the item that `path` names is itself a symbolic link, whatever it points to or if it
// points nowhere. Any failure to learn the item's type (nothing there, no permission) is false.
bool isSymbolicLink(Platform& platform, const std::string& path);

}  // namespace tarnel
