#include "tests/support/fake_authorization.h"

#include <string>

namespace tarnel::support {

namespace {

class FakeReference : public AuthorizationRef {
 public:
  explicit FakeReference(int& live) : live_(live) { ++live_; }
  FakeReference(const FakeReference&) = delete;
  FakeReference& operator=(const FakeReference&) = delete;
  ~FakeReference() override { --live_; }

 private:
  int& live_;
};

}  // namespace

OSStatus FakeAuthorization::createFromExternalForm(
    const AuthorizationExternalForm& externalForm,
    std::unique_ptr<AuthorizationRef>& authorization) {
  journal_.record(Source::authorization,
                  "createFromExternalForm " + std::to_string(externalForm.size()) + " bytes");
  lastExternalForm_ = externalForm;
  if (createStatus != errAuthorizationSuccess) return createStatus;
  if (!createYieldsNull) authorization = std::make_unique<FakeReference>(liveReferences_);
  return errAuthorizationSuccess;
}

OSStatus FakeAuthorization::copyRights(AuthorizationRef&, const AuthorizationItemSet& rights,
                                       const AuthorizationItemSet* environment,
                                       AuthorizationFlags flags) {
  journal_.record(Source::authorization, "copyRights count=" + std::to_string(rights.size()) +
                                             " flags=" + std::to_string(flags));
  lastRights_ = rights;
  lastEnvironmentWasNull_ = environment == nullptr;
  return copyRightsStatus;
}

OSStatus FakeAuthorization::free(std::unique_ptr<AuthorizationRef> authorization,
                                 AuthorizationFlags flags) {
  journal_.record(Source::authorization, "free flags=" + std::to_string(flags));
  authorization.reset();
  return errAuthorizationSuccess;
}

}  // namespace tarnel::support
