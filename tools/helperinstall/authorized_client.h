// Whether the application that asks for a helper is one of the clients that the helper names.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

// Nothing when the executable at `path` is validly signed (strict validation against the trust
// anchors in `anchorsFolder`) and satisfies at least one of `requirements`, texts of the code
// requirement language; otherwise why not. A requirement that does not compile is satisfied by
// nothing.
std::expected<void, HelperinstallError> checkAuthorizedClient(
    const std::string& path, const std::vector<std::string>& requirements,
    const std::string& anchorsFolder);

}  // namespace tarnel::helperinstall
