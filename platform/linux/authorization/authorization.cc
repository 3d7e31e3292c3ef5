#include "platform/linux/authorization/authorization.h"

#include "platform/linux/authorization/server_connection.h"

namespace tarnel::linux_platform {

namespace {

// The server keeps a reference for as long as the connection it was made on stays open, so a
// reference dropped without AuthorizationFree is still released.
class ServerReference : public AuthorizationRef {
 public:
  ServerReference(AuthorizationConnection connection, AuthorizationReference reference)
      : connection_(std::move(connection)), reference_(reference) {}

  AuthorizationConnection& connection() { return connection_; }
  AuthorizationReference reference() const { return reference_; }

 private:
  AuthorizationConnection connection_;
  AuthorizationReference reference_;
};

}  // namespace

OSStatus LinuxAuthorization::createFromExternalForm(
    const AuthorizationExternalForm& externalForm,
    std::unique_ptr<AuthorizationRef>& authorization) {
  auto connection = AuthorizationConnection::open(socketPath_);
  if (!connection) return errAuthorizationInternal;
  const auto reply = connection->exchange(CreateFromExternalFormRequest{externalForm});
  if (reply.status != errAuthorizationSuccess) return reply.status;
  if (!reply.reference) return errAuthorizationInternal;
  authorization = std::make_unique<ServerReference>(std::move(*connection), *reply.reference);
  return errAuthorizationSuccess;
}

OSStatus LinuxAuthorization::copyRights(AuthorizationRef& authorization,
                                        const AuthorizationItemSet& rights,
                                        const AuthorizationItemSet*, AuthorizationFlags flags) {
  auto* reference = dynamic_cast<ServerReference*>(&authorization);
  if (!reference) return errAuthorizationInvalidRef;
  return reference->connection()
      .exchange(
          CopyRightsRequest{.reference = reference->reference(), .rights = rights, .flags = flags})
      .status;
}

OSStatus LinuxAuthorization::free(std::unique_ptr<AuthorizationRef> authorization,
                                  AuthorizationFlags flags) {
  auto* reference = dynamic_cast<ServerReference*>(authorization.get());
  if (!reference) return errAuthorizationInvalidRef;
  return reference->connection()
      .exchange(FreeRequest{.reference = reference->reference(), .flags = flags})
      .status;
}

}  // namespace tarnel::linux_platform
