// The fields of a certificate that a requirement can ask about, read out of it once.
#pragma once

#include <openssl/x509.h>

#include "platform/linux/code_signing/requirement/certificate_fields.h"

namespace tarnel::linux_platform {

CertificateFields readCertificateFields(X509* certificate);

}  // namespace tarnel::linux_platform
