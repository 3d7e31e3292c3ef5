#include "tools/tarnelctl/privileged_authorization.h"

#include <utility>

#include "model/right_name.h"

namespace tarnel::tarnelctl {

using linux_platform::AuthorizationClient;

Failure authorizationFailure(const std::string& what, OSStatus status, AuthorizationStep step) {
  return Failure{
      .what = what + " (status " + std::to_string(status) + ")",
      .explanation = explainAuthorizationStatus(status, step, probeAuthorizationServers()),
      .authorizationStatus = status};
}

std::expected<AuthorizationClient, Failure> authorize() {
  auto authorization = AuthorizationClient::create();
  if (!authorization) {
    return std::unexpected(
        authorizationFailure("no authorization", authorization.error(), AuthorizationStep::create));
  }
  const AuthorizationItemSet rights{{.name = helperRightName}};
  const auto status = authorization->copyRights(
      rights, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
  if (status != errAuthorizationSuccess) {
    return std::unexpected(
        authorizationFailure("the right " + std::string(helperRightName) + " was not granted",
                             status, AuthorizationStep::copyRights));
  }
  return std::move(*authorization);
}

}  // namespace tarnel::tarnelctl
