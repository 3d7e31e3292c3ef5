#include "tests/support/fake_code_signing.h"

#include <string>

namespace tarnel::support {

namespace {

enum class Whose { self, guest };

// Each fake object keeps the count of live objects honest by its own lifetime.
class Counted {
 public:
  explicit Counted(int& live) : live_(live) { ++live_; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  ~Counted() { --live_; }

 private:
  int& live_;
};

// Not counted and tied to no fake: a compiled client requirement is kept for the life of the
// process, beyond the fake that compiled it.
class FakeRequirement : public SecRequirement {};
class FakeCode : public SecCode, Counted {
 public:
  FakeCode(int& live, Whose w) : Counted(live), whose(w) {}
  Whose whose;
};
class FakeStaticCode : public SecStaticCode, Counted {
 public:
  FakeStaticCode(int& live, Whose w) : Counted(live), whose(w) {}
  Whose whose;
};

}  // namespace

OSStatus FakeCodeSigning::createRequirement(std::string_view text, SecCSFlags flags,
                                            std::unique_ptr<SecRequirement>& requirement) {
  journal_.record(Source::codeSigning,
                  "createRequirement flags=" + std::to_string(flags) + " " + std::string(text));
  ++requirementsCompiled_;
  if (createRequirementStatus != errSecSuccess) return createRequirementStatus;
  requirement = std::make_unique<FakeRequirement>();
  return errSecSuccess;
}

OSStatus FakeCodeSigning::copySelf(SecCSFlags flags, std::unique_ptr<SecCode>& code) {
  journal_.record(Source::codeSigning, "copySelf flags=" + std::to_string(flags));
  if (copySelfStatus != errSecSuccess) return copySelfStatus;
  code = std::make_unique<FakeCode>(liveObjects_, Whose::self);
  return errSecSuccess;
}

OSStatus FakeCodeSigning::copyGuestWithAttributes(const Dictionary& attributes, SecCSFlags flags,
                                                  std::unique_ptr<SecCode>& guest) {
  const auto* token = attributes.find(kSecGuestAttributeAudit);
  const auto* bytes = token ? token->get<Bytes>() : nullptr;
  journal_.record(Source::codeSigning,
                  "copyGuest flags=" + std::to_string(flags) +
                      " entries=" + std::to_string(attributes.size()) +
                      " token=" + (bytes ? std::to_string(bytes->size()) + " bytes" : "none"));
  if (copyGuestStatus != errSecSuccess) return copyGuestStatus;
  guest = std::make_unique<FakeCode>(liveObjects_, Whose::guest);
  return errSecSuccess;
}

OSStatus FakeCodeSigning::copyStaticCode(const SecCode& code, SecCSFlags flags,
                                         std::unique_ptr<SecStaticCode>& staticCode) {
  journal_.record(Source::codeSigning, "copyStaticCode flags=" + std::to_string(flags));
  if (copyStaticCodeStatus != errSecSuccess) return copyStaticCodeStatus;
  staticCode =
      std::make_unique<FakeStaticCode>(liveObjects_, dynamic_cast<const FakeCode&>(code).whose);
  return errSecSuccess;
}

OSStatus FakeCodeSigning::checkValidity(const SecStaticCode& staticCode, SecCSFlags flags,
                                        const SecRequirement&) {
  const auto whose = dynamic_cast<const FakeStaticCode&>(staticCode).whose;
  journal_.record(Source::codeSigning, std::string("checkValidity ") +
                                           (whose == Whose::self ? "self" : "guest") +
                                           " flags=" + std::to_string(flags));
  return whose == Whose::self ? selfValidityStatus : guestValidityStatus;
}

}  // namespace tarnel::support
