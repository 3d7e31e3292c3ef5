// The platform's folders that a helper is installed into: only root may change what they hold, or
// somebody else could put another program or job in the installed one's place.
#pragma once

#include <expected>
#include <string>

#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

// Nothing when `path` is a folder (not a link to one) owned by root and writable by nobody else;
// otherwise why not.
std::expected<void, HelperinstallError> checkSystemFolder(const std::string& path);

}  // namespace tarnel::helperinstall
