// Authorization Services for the helper: references to authorizations that clients created at the
// authorization server (tools/authorityd), each reference over a connection of its own.
#pragma once

#include <memory>
#include <string>

#include "platform/authorization.h"
#include "platform/linux/authorization/protocol.h"

namespace tarnel::linux_platform {

class LinuxAuthorization : public Authorization {
 public:
  explicit LinuxAuthorization(std::string socketPath = kAuthorityServerSocket)
      : socketPath_(std::move(socketPath)) {}

  OSStatus createFromExternalForm(const AuthorizationExternalForm& externalForm,
                                  std::unique_ptr<AuthorizationRef>& authorization) override;
  // No rule reads an environment, so none is sent.
  OSStatus copyRights(AuthorizationRef& authorization, const AuthorizationItemSet& rights,
                      const AuthorizationItemSet* environment, AuthorizationFlags flags) override;
  OSStatus free(std::unique_ptr<AuthorizationRef> authorization, AuthorizationFlags flags) override;

 private:
  std::string socketPath_;
};

}  // namespace tarnel::linux_platform
