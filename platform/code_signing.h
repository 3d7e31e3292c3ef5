// Code signing: the stand-in for SecCode, SecStaticCode and SecRequirement. Objects are owned
// by the unique_ptr that receives them, which releases them on every path.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "model/value.h"
#include "platform/os_status.h"

namespace tarnel {

using SecCSFlags = std::uint32_t;

inline constexpr SecCSFlags kSecCSDefaultFlags = 0;
inline constexpr SecCSFlags kSecCSCheckAllArchitectures = 1;
inline constexpr SecCSFlags kSecCSCheckNestedCode = 8;
inline constexpr SecCSFlags kSecCSStrictValidate = 16;

// The statuses that the code-signing service reports besides errSecSuccess; callers need only
// tell 0 from the rest, the distinctions are for diagnostics and tests.
inline constexpr OSStatus errSecCSInvalidObjectRef = -67071;    // an object of another service
inline constexpr OSStatus errSecCSInvalidFlags = -67070;        // flags the operation does not know
inline constexpr OSStatus errSecCSStaticCodeNotFound = -67068;  // the on-disk code cannot be read
inline constexpr OSStatus errSecCSUnsupportedGuestAttributes = -67067;
inline constexpr OSStatus errSecCSInvalidAttributeValues = -67066;
inline constexpr OSStatus errSecCSNoSuchCode = -67065;       // no such process, or it has gone
inline constexpr OSStatus errSecCSGuestInvalid = -67063;     // a process open to injected code
inline constexpr OSStatus errSecCSUnsigned = -67062;         // no signature at all
inline constexpr OSStatus errSecCSSignatureFailed = -67061;  // the signed bytes have changed
inline constexpr OSStatus errSecCSSignatureNotVerifiable = -67060;  // no chain to a trust anchor
inline constexpr OSStatus errSecCSReqInvalid = -67052;       // requirement text does not compile
inline constexpr OSStatus errSecCSReqFailed = -67050;        // valid, but the requirement fails
inline constexpr OSStatus errSecCSBadObjectFormat = -67049;  // not an executable of this platform
inline constexpr OSStatus errSecCSInternalError = -67048;
inline constexpr OSStatus errSecCSSignatureInvalid = -67045;  // a malformed or unknown part
inline constexpr OSStatus errSecCSInfoPlistFailed = -67030;   // information dictionary unbound

// The key of the guest attributes under which the 32-byte audit token of a peer is given.
inline constexpr std::string_view kSecGuestAttributeAudit = "audit";

// A compiled requirement.
class SecRequirement {
 public:
  virtual ~SecRequirement() = default;
};

// Running code: a process.
class SecCode {
 public:
  virtual ~SecCode() = default;
};

// The on-disk code of a running code.
class SecStaticCode {
 public:
  virtual ~SecStaticCode() = default;
};

class CodeSigning {
 public:
  virtual ~CodeSigning() = default;

  // Compiles `text` in the code requirement language; on errSecSuccess `requirement` holds it.
  virtual OSStatus createRequirement(std::string_view text, SecCSFlags flags,
                                     std::unique_ptr<SecRequirement>& requirement) = 0;

  // The running code of this very process.
  virtual OSStatus copySelf(SecCSFlags flags, std::unique_ptr<SecCode>& code) = 0;

  // The running code of the process named by `attributes` ({kSecGuestAttributeAudit: the
  // 32-byte audit token}); a non-zero status when that process no longer exists as the token
  // names it.
  virtual OSStatus copyGuestWithAttributes(const Dictionary& attributes, SecCSFlags flags,
                                           std::unique_ptr<SecCode>& guest) = 0;

  // The on-disk code behind running code.
  virtual OSStatus copyStaticCode(const SecCode& code, SecCSFlags flags,
                                  std::unique_ptr<SecStaticCode>& staticCode) = 0;

  // errSecSuccess when the signature of `staticCode` is valid under `flags` and satisfies
  // `requirement`.
  virtual OSStatus checkValidity(const SecStaticCode& staticCode, SecCSFlags flags,
                                 const SecRequirement& requirement) = 0;
};

}  // namespace tarnel
