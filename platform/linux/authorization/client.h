// The client side of an authorization that this process creates at the authorization server and
// hands to the helper as its external form. The authorization lives while this object does, and
// while this process runs: the server forgets an authorization whose creator has exited.
#pragma once

#include <expected>
#include <string>

#include "platform/authorization.h"
#include "platform/linux/authorization/server_connection.h"

namespace tarnel::linux_platform {

class AuthorizationClient {
 public:
  // AuthorizationCreate without rights: a new authorization whose creator is this process.
  static std::expected<AuthorizationClient, OSStatus> create(
      const std::string& socketPath = kAuthorityServerSocket);

  // AuthorizationCopyRights: with kAuthorizationFlagExtendRights the rights are obtained now, in
  // advance, and held for the time their rules give.
  OSStatus copyRights(const AuthorizationItemSet& rights, AuthorizationFlags flags);

  // AuthorizationMakeExternalForm: the 32 bytes that name the authorization to whoever holds them.
  std::expected<AuthorizationExternalForm, OSStatus> makeExternalForm();

  // AuthorizationFree; with kAuthorizationFlagDestroyRights the rights it holds go too. Nothing
  // further can be asked of this object.
  OSStatus free(AuthorizationFlags flags);

 private:
  AuthorizationClient(AuthorizationConnection connection, AuthorizationReference reference)
      : connection_(std::move(connection)), reference_(reference) {}

  AuthorizationConnection connection_;
  AuthorizationReference reference_;
};

}  // namespace tarnel::linux_platform
