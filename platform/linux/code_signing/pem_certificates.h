// Reads certificates and keys from PEM files, through reads that are bounded and close-on-exec.
#pragma once

#include <expected>
#include <string>

#include "platform/linux/code_signing/openssl_ptr.h"

namespace tarnel::linux_platform {

// Every certificate in the PEM file at `path`; the reason when the file cannot be read, holds
// anything else than certificates, or holds none.
std::expected<X509StackPtr, std::string> readCertificates(const std::string& path);

// The unencrypted private key in the PEM file at `path`.
std::expected<EvpPkeyPtr, std::string> readPrivateKey(const std::string& path);

}  // namespace tarnel::linux_platform
