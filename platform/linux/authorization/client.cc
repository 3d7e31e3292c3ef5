#include "platform/linux/authorization/client.h"

namespace tarnel::linux_platform {

std::expected<AuthorizationClient, OSStatus> AuthorizationClient::create(
    const std::string& socketPath) {
  auto connection = AuthorizationConnection::open(socketPath);
  if (!connection) return std::unexpected(errAuthorizationInternal);
  const auto reply = connection->exchange(CreateRequest{});
  if (reply.status != errAuthorizationSuccess) return std::unexpected(reply.status);
  if (!reply.reference) return std::unexpected(errAuthorizationInternal);
  return AuthorizationClient(std::move(*connection), *reply.reference);
}

OSStatus AuthorizationClient::copyRights(const AuthorizationItemSet& rights,
                                         AuthorizationFlags flags) {
  return connection_
      .exchange(CopyRightsRequest{.reference = reference_, .rights = rights, .flags = flags})
      .status;
}

std::expected<AuthorizationExternalForm, OSStatus> AuthorizationClient::makeExternalForm() {
  const auto reply = connection_.exchange(MakeExternalFormRequest{reference_});
  if (reply.status != errAuthorizationSuccess) return std::unexpected(reply.status);
  if (!reply.externalForm) return std::unexpected(errAuthorizationInternal);
  return *reply.externalForm;
}

OSStatus AuthorizationClient::free(AuthorizationFlags flags) {
  return connection_.exchange(FreeRequest{.reference = reference_, .flags = flags}).status;
}

}  // namespace tarnel::linux_platform
