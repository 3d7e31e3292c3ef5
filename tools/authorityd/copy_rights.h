// AuthorizationCopyRights on the server: whether an authorization is granted every right of a
// request, from the rights it holds and, where the flags let it be extended, from their rules.
#pragma once

#include <functional>

#include "platform/authorization.h"
#include "tools/authorityd/authorization_store.h"
#include "tools/authorityd/server_settings.h"

namespace tarnel::authorityd {

struct CopyRightsContext {
  AuthorizationStore& store;
  const ServerSettings& settings;
  // Whether the client that asked is still connected: a grant for one that has gone is not made.
  std::function<bool()> requesterPresent;
};

// errAuthorizationSuccess when the authorization that `form` names is granted every right of
// `rights`. Without kAuthorizationFlagExtendRights only rights it holds count; with it, the rest
// are put to their rules and the rights granted are held for their rules' time. Without
// kAuthorizationFlagPartialRights a refusal keeps nothing that the call granted; with it, what was
// granted is kept, and the status is still the refusal.
OSStatus copyRights(const CopyRightsContext& context, const AuthorizationExternalForm& form,
                    const AuthorizationItemSet& rights, AuthorizationFlags flags);

}  // namespace tarnel::authorityd
