// Validation of a signed ELF executable as it lies on disk: its signature, the chain of its
// signing certificate to a trust anchor, the SHA-256 of its code and its bound information
// dictionary. What the validation establishes is what a requirement is then judged against.
#pragma once

#include <chrono>
#include <expected>
#include <optional>
#include <string>

#include "model/value.h"
#include "platform/code_signing.h"
#include "platform/linux/code_signing/requirement/evaluator.h"
#include "platform/linux/code_signing/signing_failure.h"

namespace tarnel::linux_platform {

// The flags that validation knows; any other is refused with errSecCSInvalidFlags.
inline constexpr SecCSFlags kValidityFlags =
    kSecCSCheckAllArchitectures | kSecCSCheckNestedCode | kSecCSStrictValidate;

struct ValidatedCode {
  RequirementContext context;
  // The earliest end of validity in the signing chain: from then on the same file no longer
  // validates.
  std::chrono::system_clock::time_point validUntil;
};

// What the signature of the executable open as `fd` establishes, when it is valid under `flags`
// against the anchors in `anchorsFolder`, and until when; otherwise the status and reason of the
// first failure.
std::expected<ValidatedCode, SigningFailure> validateCode(int fd, const std::string& anchorsFolder,
                                                          SecCSFlags flags);

// The same, what the signature establishes alone.
std::expected<RequirementContext, SigningFailure> validateSignedFile(
    int fd, const std::string& anchorsFolder, SecCSFlags flags);

struct SignatureDescription {
  std::string identifier;
  std::string signerSubject;
  std::optional<Bytes> infoPlist;
};

// What the signature of the executable open as `fd` claims, verifying nothing.
std::expected<SignatureDescription, SigningFailure> describeSignature(int fd);

}  // namespace tarnel::linux_platform
