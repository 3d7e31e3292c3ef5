#include "tools/codesign/operations.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/linux/code_signing/code_signer.h"
#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/info_plist.h"
#include "platform/linux/code_signing/requirement/evaluator.h"
#include "platform/linux/code_signing/requirement/parser.h"
#include "platform/linux/code_signing/trust_anchors.h"
#include "platform/linux/posix/file_reading.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::codesign {

namespace {

using namespace linux_platform;

int fail(std::FILE* errors, const std::string& file, const std::string& reason) {
  std::fprintf(errors, "%s: %s\n", file.c_str(), reason.c_str());
  return kFailure;
}

}  // namespace

int signCode(const Command& command, std::FILE* errors) {
  const auto identity = loadSigningIdentity(command.certificate, command.key, command.chain);
  if (!identity) return fail(errors, command.file, describe(identity.error()));
  SigningRequest request{.file = command.file, .identifier = command.identifier, .infoPlist = {}};
  if (command.infoPlist) {
    const auto text = readSmallFile(*command.infoPlist, kMaxInfoPlistLength);
    if (!text) return fail(errors, command.file, "cannot read " + *command.infoPlist);
    request.infoPlist = Bytes(text->begin(), text->end());
  }
  if (const auto signedFile = signFile(*identity, request); !signedFile) {
    return fail(errors, command.file, describe(signedFile.error()));
  }
  return kSuccess;
}

int verifyCode(const Command& command, std::FILE* errors) {
  std::optional<requirement::Expression> requirement;
  if (command.requirement) {
    auto parsed = parseRequirement(*command.requirement);
    if (!parsed) {
      return fail(errors, command.file,
                  "the requirement does not compile: " + describe(parsed.error()));
    }
    requirement = std::move(*parsed);
  }
  const UniqueFd file(::open(command.file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return fail(errors, command.file, std::strerror(errno));
  const auto validated = validateSignedFile(
      file.get(), command.anchors.value_or(kDefaultAnchorsFolder), kValidityFlags);
  if (!validated) return fail(errors, command.file, validated.error().reason);
  if (requirement && !evaluateRequirement(*requirement, *validated)) {
    return fail(errors, command.file, "the signature does not satisfy the requirement");
  }
  return kSuccess;
}

int displayCode(const Command& command, std::FILE* output, std::FILE* errors) {
  const UniqueFd file(::open(command.file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return fail(errors, command.file, std::strerror(errno));
  const auto description = describeSignature(file.get());
  if (!description) return fail(errors, command.file, description.error().reason);
  std::fprintf(output, "Identifier=%s\nSubject=%s\n", description->identifier.c_str(),
               description->signerSubject.c_str());
  if (description->infoPlist) {
    std::fprintf(output, "Info:\n");
    std::fwrite(description->infoPlist->data(), 1, description->infoPlist->size(), output);
    if (!description->infoPlist->empty() && description->infoPlist->back() != '\n') {
      std::fputc('\n', output);
    }
  } else {
    std::fprintf(output, "Info=none\n");
  }
  if (std::fflush(output) != 0 || std::ferror(output)) {
    return fail(errors, command.file, "cannot write the description");
  }
  return kSuccess;
}

}  // namespace tarnel::codesign
