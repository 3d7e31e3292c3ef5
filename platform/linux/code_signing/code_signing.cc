#include "platform/linux/code_signing/code_signing.h"

#include <fcntl.h>

#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/peer_process.h"
#include "platform/linux/code_signing/requirement/evaluator.h"
#include "platform/linux/code_signing/requirement/parser.h"
#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

class LinuxRequirement : public SecRequirement {
 public:
  explicit LinuxRequirement(requirement::Expression compiled) : expression(std::move(compiled)) {}
  const requirement::Expression expression;
};

// Whose code an object is: this process's own, or a peer's.
enum class Whose { self, guest };

// An executable, opened while the process was known to be the one asked for; the on-disk code is
// read through that descriptor, never through a path, and only with reads at given offsets, so
// that every object made from it can share it.
using Executable = std::shared_ptr<const UniqueFd>;

// Running code, held as its executable, with the process id a guest was found by.
class LinuxCode : public SecCode {
 public:
  LinuxCode(Executable opened, Whose owner, std::uint32_t id = 0)
      : executable(std::move(opened)), whose(owner), pid(id) {}
  const Executable executable;
  const Whose whose;
  const std::uint32_t pid;
};

class LinuxStaticCode : public SecStaticCode {
 public:
  LinuxStaticCode(Executable opened, Whose owner, std::uint32_t id)
      : file(std::move(opened)), whose(owner), pid(id) {}
  const Executable file;
  const Whose whose;
  const std::uint32_t pid;
};

Executable openSelf() {
  return std::make_shared<const UniqueFd>(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
}

}  // namespace

LinuxCodeSigning::LinuxCodeSigning(std::string anchorsFolder, std::string clientGroup, Log* log)
    : anchorsFolder_(std::move(anchorsFolder)),
      clientGroup_(std::move(clientGroup)),
      log_(log),
      self_(openSelf()) {}

OSStatus LinuxCodeSigning::refuse(std::uint32_t pid, const SigningFailure& failure) {
  if (log_) {
    log_->write("code signing: refused process " + std::to_string(pid) + ": " + failure.reason);
  }
  return failure.status;
}

OSStatus LinuxCodeSigning::refuseOwnCode(const SigningFailure& failure) {
  if (log_) log_->write("code signing: refused this process's own code: " + failure.reason);
  return failure.status;
}

OSStatus LinuxCodeSigning::createRequirement(std::string_view text, SecCSFlags flags,
                                             std::unique_ptr<SecRequirement>& requirement) {
  if (flags != kSecCSDefaultFlags) return errSecCSInvalidFlags;
  auto expression = parseRequirement(text);
  if (!expression) return errSecCSReqInvalid;
  requirement = std::make_unique<LinuxRequirement>(std::move(*expression));
  return errSecSuccess;
}

OSStatus LinuxCodeSigning::copySelf(SecCSFlags flags, std::unique_ptr<SecCode>& code) {
  if (flags != kSecCSDefaultFlags) return errSecCSInvalidFlags;
  // This process's executable does not change while it runs: opened at start, before any peer
  // can have used up the descriptors, and shared by every code object made of it. Had that open
  // failed, it is tried again: a failure is never kept.
  std::lock_guard lock(selfMutex_);
  if (!*self_) self_ = openSelf();
  if (!*self_) return errSecCSStaticCodeNotFound;
  code = std::make_unique<LinuxCode>(self_, Whose::self);
  return errSecSuccess;
}

OSStatus LinuxCodeSigning::copyGuestWithAttributes(const Dictionary& attributes, SecCSFlags flags,
                                                   std::unique_ptr<SecCode>& guest) {
  if (flags != kSecCSDefaultFlags) return errSecCSInvalidFlags;
  const Value* tokenValue = attributes.find(kSecGuestAttributeAudit);
  if (!tokenValue || attributes.size() != 1) return errSecCSUnsupportedGuestAttributes;
  const Bytes* tokenBytes = tokenValue->get<Bytes>();
  const auto token = tokenBytes ? AuditToken::decode(*tokenBytes) : std::nullopt;
  if (!token) return errSecCSInvalidAttributeValues;
  auto executable = openPeerExecutable(*token, clientGroup_);
  if (!executable) return refuse(token->processId, executable.error());
  guest = std::make_unique<LinuxCode>(std::make_shared<const UniqueFd>(std::move(*executable)),
                                      Whose::guest, token->processId);
  return errSecSuccess;
}

OSStatus LinuxCodeSigning::copyStaticCode(const SecCode& code, SecCSFlags flags,
                                          std::unique_ptr<SecStaticCode>& staticCode) {
  if (flags != kSecCSDefaultFlags) return errSecCSInvalidFlags;
  const auto* linuxCode = dynamic_cast<const LinuxCode*>(&code);
  if (!linuxCode) return errSecCSInvalidObjectRef;
  staticCode =
      std::make_unique<LinuxStaticCode>(linuxCode->executable, linuxCode->whose, linuxCode->pid);
  return errSecSuccess;
}

OSStatus LinuxCodeSigning::checkValidity(const SecStaticCode& staticCode, SecCSFlags flags,
                                         const SecRequirement& requirement) {
  const auto* linuxStaticCode = dynamic_cast<const LinuxStaticCode*>(&staticCode);
  const auto* linuxRequirement = dynamic_cast<const LinuxRequirement*>(&requirement);
  if (!linuxStaticCode || !linuxRequirement) return errSecCSInvalidObjectRef;
  const int file = linuxStaticCode->file->get();
  if (linuxStaticCode->whose == Whose::self) {
    const auto validated = ownCode_.validate(file, anchorsFolder_, flags);
    if (!validated) return refuseOwnCode(validated.error());
    return evaluateRequirement(linuxRequirement->expression, **validated)
               ? errSecSuccess
               : refuseOwnCode({errSecCSReqFailed, "its code does not satisfy the requirement"});
  }
  const auto validated = validateSignedFile(file, anchorsFolder_, flags);
  if (!validated) return refuse(linuxStaticCode->pid, validated.error());
  if (!evaluateRequirement(linuxRequirement->expression, *validated)) {
    return refuse(linuxStaticCode->pid,
                  {errSecCSReqFailed, "its code does not satisfy the requirement"});
  }
  return errSecSuccess;
}

}  // namespace tarnel::linux_platform
