// The signature blob itself: CMS signed data, its certificates included, whose content is the
// code directory. Made with the signer's certificate and key, checked against the trust anchors.
#pragma once

#include <chrono>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/value.h"
#include "platform/linux/code_signing/certificate_error.h"
#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/openssl_ptr.h"
#include "platform/linux/code_signing/requirement/certificate_fields.h"
#include "platform/linux/code_signing/signature_format_error.h"
#include "platform/linux/code_signing/signing_error.h"
#include "platform/linux/code_signing/signing_failure.h"

namespace tarnel::linux_platform {

struct SigningIdentity {
  X509Ptr certificate;
  EvpPkeyPtr key;
  X509StackPtr chain;  // the intermediate certificates, carried in the signature
};

// The identity in PEM files: the leaf certificate, its unencrypted key and optionally the
// certificates between the leaf and the anchor; why not when they cannot be read or the key does
// not belong to the certificate.
std::expected<SigningIdentity, CertificateError> loadSigningIdentity(
    const std::string& certificatePath, const std::string& keyPath,
    const std::optional<std::string>& chainPath);

// The DER of CMS signed data with `content` enclosed and the identity's certificates included.
std::expected<Bytes, SigningError> signData(const SigningIdentity& identity,
                                            std::span<const std::uint8_t> content);

struct VerifiedData {
  Bytes content;
  std::vector<CertificateFields> chain;  // the leaf first, the anchor last
  // The earliest end of validity in the chain: from then on the same data no longer verifies.
  std::chrono::system_clock::time_point validUntil;
};

// The content of the signed data in `der` when its one signer's signature holds and that
// signer's certificate chains, through the enclosed certificates, to an anchor of `anchors` and
// may sign code. Strict verification also refuses bytes after the DER.
std::expected<VerifiedData, SigningFailure> verifySignedData(std::span<const std::uint8_t> der,
                                                             X509_STORE* anchors,
                                                             Strictness strictness);

struct SignedDataContents {
  Bytes content;
  std::string signerSubject;  // one line, in RFC 2253 form
};

// What the signed data in `der` says, verifying nothing; for display only.
std::expected<SignedDataContents, SignatureFormatError> readSignedData(
    std::span<const std::uint8_t> der);

}  // namespace tarnel::linux_platform
