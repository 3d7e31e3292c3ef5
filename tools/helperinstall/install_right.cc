#include "tools/helperinstall/install_right.h"

#include "platform/linux/authorization/client.h"
#include "tools/helperinstall/messages.h"

namespace tarnel::helperinstall {

std::expected<void, std::string> obtainInstallRight(const std::string& socketPath) {
  auto authorization = linux_platform::AuthorizationClient::create(socketPath);
  if (!authorization) {
    return std::unexpected(
        messages::notAuthorized(kInstallRight, "cannot be asked for: no authorization (status " +
                                                   std::to_string(authorization.error()) + ")"));
  }
  const OSStatus status = authorization->copyRights(
      {AuthorizationItem{.name = kInstallRight}},
      kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
  // The grant is used at once; nothing of it is to outlive the install.
  (void)authorization->free(kAuthorizationFlagDestroyRights);
  if (status != errAuthorizationSuccess) {
    return std::unexpected(messages::notAuthorized(
        kInstallRight, "was refused (status " + std::to_string(status) + ")"));
  }
  return {};
}

}  // namespace tarnel::helperinstall
