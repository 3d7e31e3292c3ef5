#include "trust/privileged_validator.h"

#include <algorithm>
#include <memory>

namespace tarnel {

namespace {

// The platform may ask the user to authenticate, and may extend the authorization to the right.
constexpr AuthorizationFlags kCopyRightsFlags =
    kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights;

}  // namespace

std::expected<void, PrivilegedValidator::ValidatorError> PrivilegedValidator::validateAuthData(
    Platform& platform, const std::optional<Bytes>& authData) {
  if (!authData || authData->size() != kAuthorizationExternalFormLength) {
    return std::unexpected(ValidatorError::invalidAuthData);
  }
  AuthorizationExternalForm externalForm{};
  std::ranges::copy(*authData, externalForm.begin());

  std::unique_ptr<AuthorizationRef> authorization;
  const OSStatus createStatus =
      platform.authorization.createFromExternalForm(externalForm, authorization);
  if (createStatus != errAuthorizationSuccess || !authorization) {
    return std::unexpected(ValidatorError::invalidAuthData);
  }

  const AuthorizationItemSet rights{AuthorizationItem{.name = rightName, .value = {}, .flags = 0}};
  const OSStatus copyStatus =
      platform.authorization.copyRights(*authorization, rights, nullptr, kCopyRightsFlags);
  // Freed whatever the verdict, and with the defaults: the rights stay with the client's
  // authorization.
  platform.authorization.free(std::move(authorization), kAuthorizationFlagDefaults);

  if (copyStatus != errAuthorizationSuccess) {
    return std::unexpected(ValidatorError::invalidAuthData);
  }
  return {};
}

}  // namespace tarnel
