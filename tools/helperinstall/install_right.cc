#include "tools/helperinstall/install_right.h"

#include "platform/linux/authorization/client.h"

namespace tarnel::helperinstall {

namespace {

std::unexpected<InstallFailure> notAuthorized(HelperinstallError::Kind kind, OSStatus status) {
  return std::unexpected(InstallFailure{.refusal = InstallFailure::Refusal::notAuthorized,
                                        .subject = kInstallRight,
                                        .reason = {.kind = kind, .number = status},
                                        .previous = std::nullopt});
}

}  // namespace

std::expected<void, InstallFailure> obtainInstallRight(const std::string& socketPath) {
  auto authorization = linux_platform::AuthorizationClient::create(socketPath);
  if (!authorization) {
    return notAuthorized(HelperinstallError::Kind::noAuthorization, authorization.error());
  }
  const OSStatus status = authorization->copyRights(
      {AuthorizationItem{.name = kInstallRight}},
      kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
  // The grant is used at once; nothing of it is to outlive the install.
  (void)authorization->free(kAuthorizationFlagDestroyRights);
  if (status != errAuthorizationSuccess) {
    return notAuthorized(HelperinstallError::Kind::rightRefused, status);
  }
  return {};
}

}  // namespace tarnel::helperinstall
