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
