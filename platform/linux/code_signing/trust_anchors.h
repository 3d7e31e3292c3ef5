// The platform's trust anchors: the PEM certificates of one fixed folder, read afresh for each
// validation so that a change to the folder takes effect at once.
#pragma once

#include <expected>
#include <string>

#include "platform/linux/code_signing/openssl_ptr.h"

namespace tarnel::linux_platform {

inline constexpr const char* kDefaultAnchorsFolder = "/etc/tarnel/anchors";

// A store of every certificate in the files named *.pem in `folder`; the reason when the folder
// cannot be read, a file is damaged, or there is no anchor at all.
std::expected<X509StorePtr, std::string> loadTrustAnchors(const std::string& folder);

}  // namespace tarnel::linux_platform
