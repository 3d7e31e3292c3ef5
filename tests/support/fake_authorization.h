// Authorization that answers with scripted statuses, journals each call with what it was given,
// and counts the references alive.
#pragma once

#include "platform/authorization.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakeAuthorization : public Authorization {
 public:
  explicit FakeAuthorization(Journal& journal) : journal_(journal) {}

  OSStatus createStatus = errAuthorizationSuccess;
  bool createYieldsNull = false;
  OSStatus copyRightsStatus = errAuthorizationSuccess;

  int liveReferences() const { return liveReferences_; }
  // The form that the last createFromExternalForm was given.
  const AuthorizationExternalForm& lastExternalForm() const { return lastExternalForm_; }
  // What the last copyRights was given.
  const AuthorizationItemSet& lastRights() const { return lastRights_; }
  bool lastEnvironmentWasNull() const { return lastEnvironmentWasNull_; }

  OSStatus createFromExternalForm(const AuthorizationExternalForm& externalForm,
                                  std::unique_ptr<AuthorizationRef>& authorization) override;
  OSStatus copyRights(AuthorizationRef& authorization, const AuthorizationItemSet& rights,
                      const AuthorizationItemSet* environment, AuthorizationFlags flags) override;
  OSStatus free(std::unique_ptr<AuthorizationRef> authorization, AuthorizationFlags flags) override;

 private:
  Journal& journal_;
  int liveReferences_ = 0;
  AuthorizationExternalForm lastExternalForm_{};
  AuthorizationItemSet lastRights_;
  bool lastEnvironmentWasNull_ = false;
};

}  // namespace tarnel::support
