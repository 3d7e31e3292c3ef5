// Code signing that answers each operation with a scripted status and journals it. The code
// objects it hands out are counted while alive, so a test can check that every one was released;
// requirements are not, as the compiled client requirement lives as long as the process.
#pragma once

#include <string>

#include "platform/code_signing.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakeCodeSigning : public CodeSigning {
 public:
  explicit FakeCodeSigning(Journal& journal) : journal_(journal) {}

  // Statuses to answer with; 0 unless set.
  OSStatus createRequirementStatus = errSecSuccess;
  OSStatus copySelfStatus = errSecSuccess;
  OSStatus copyGuestStatus = errSecSuccess;
  OSStatus copyStaticCodeStatus = errSecSuccess;
  // The validity check of this process's own code, and of a guest's.
  OSStatus selfValidityStatus = errSecSuccess;
  OSStatus guestValidityStatus = errSecSuccess;

  int liveObjects() const { return liveObjects_; }
  int requirementsCompiled() const { return requirementsCompiled_; }

  OSStatus createRequirement(std::string_view text, SecCSFlags flags,
                             std::unique_ptr<SecRequirement>& requirement) override;
  OSStatus copySelf(SecCSFlags flags, std::unique_ptr<SecCode>& code) override;
  OSStatus copyGuestWithAttributes(const Dictionary& attributes, SecCSFlags flags,
                                   std::unique_ptr<SecCode>& guest) override;
  OSStatus copyStaticCode(const SecCode& code, SecCSFlags flags,
                          std::unique_ptr<SecStaticCode>& staticCode) override;
  OSStatus checkValidity(const SecStaticCode& staticCode, SecCSFlags flags,
                         const SecRequirement& requirement) override;

 private:
  Journal& journal_;
  int liveObjects_ = 0;
  int requirementsCompiled_ = 0;
};

}  // namespace tarnel::support
