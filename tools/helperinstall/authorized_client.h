// Whether the application that asks for a helper is one of the clients that the helper names.
#pragma once

#include <expected>
#include <string>
#include <vector>

namespace tarnel::helperinstall {

// Nothing when the executable at `path` is validly signed (strict validation against the trust
// anchors in `anchorsFolder`) and satisfies at least one of `requirements`, texts of the code
// requirement language; otherwise the reason, ready to print. A requirement that does not
// compile is satisfied by nothing.
std::expected<void, std::string> checkAuthorizedClient(const std::string& path,
                                                       const std::vector<std::string>& requirements,
                                                       const std::string& anchorsFolder);

}  // namespace tarnel::helperinstall
