// Authorization: the stand-in for Authorization Services, as the helper uses it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/value.h"
#include "platform/os_status.h"

namespace tarnel {

using AuthorizationFlags = std::uint32_t;

inline constexpr AuthorizationFlags kAuthorizationFlagDefaults = 0;
inline constexpr AuthorizationFlags kAuthorizationFlagInteractionAllowed = 1;
inline constexpr AuthorizationFlags kAuthorizationFlagExtendRights = 2;
inline constexpr AuthorizationFlags kAuthorizationFlagPartialRights = 4;
inline constexpr AuthorizationFlags kAuthorizationFlagDestroyRights = 8;

// The statuses other than success that the authorization service reports.
inline constexpr OSStatus errAuthorizationInvalidRef = -60002;
inline constexpr OSStatus errAuthorizationDenied = -60005;
inline constexpr OSStatus errAuthorizationCanceled = -60006;
inline constexpr OSStatus errAuthorizationInteractionNotAllowed = -60007;
inline constexpr OSStatus errAuthorizationInternal = -60008;
inline constexpr OSStatus errAuthorizationInvalidFlags = -60011;

inline constexpr std::size_t kAuthorizationExternalFormLength = 32;
using AuthorizationExternalForm = std::array<std::uint8_t, kAuthorizationExternalFormLength>;

// One right asked for, or one entry of an environment.
struct AuthorizationItem {
  std::string name;
  Bytes value;  // its length is the item's valueLength; empty for "no value"
  std::uint32_t flags = 0;
  bool operator==(const AuthorizationItem&) const = default;
};
using AuthorizationItemSet = std::vector<AuthorizationItem>;

// A reference to an authorization held by the authorization server.
class AuthorizationRef {
 public:
  virtual ~AuthorizationRef() = default;
};

class Authorization {
 public:
  virtual ~Authorization() = default;

  // A reference to the authorization that `externalForm` names; it grants nothing by itself.
  virtual OSStatus createFromExternalForm(const AuthorizationExternalForm& externalForm,
                                          std::unique_ptr<AuthorizationRef>& authorization) = 0;

  // errAuthorizationSuccess when every right of `rights` is granted to `authorization`,
  // evaluated for the process that created it, with `environment` (nullptr for none).
  virtual OSStatus copyRights(AuthorizationRef& authorization, const AuthorizationItemSet& rights,
                              const AuthorizationItemSet* environment,
                              AuthorizationFlags flags) = 0;

  // Releases the reference; with kAuthorizationFlagDestroyRights the rights it holds go too.
  virtual OSStatus free(std::unique_ptr<AuthorizationRef> authorization,
                        AuthorizationFlags flags) = 0;
};

}  // namespace tarnel
