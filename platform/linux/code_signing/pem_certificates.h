// Reads certificates and keys from PEM files, through reads that are bounded and close-on-exec.
#pragma once

#include <expected>
#include <string>

#include "platform/linux/code_signing/certificate_error.h"
#include "platform/linux/code_signing/openssl_ptr.h"

namespace tarnel::linux_platform {

// Every certificate in the PEM file at `path`; why not when the file cannot be read, holds
// anything else than certificates, or holds none.
std::expected<X509StackPtr, CertificateError> readCertificates(const std::string& path);

// The unencrypted private key in the PEM file at `path`.
std::expected<EvpPkeyPtr, CertificateError> readPrivateKey(const std::string& path);

}  // namespace tarnel::linux_platform
