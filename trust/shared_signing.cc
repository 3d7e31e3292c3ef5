#include "trust/shared_signing.h"

#include <array>
#include <string_view>

namespace tarnel {

namespace {

constexpr std::array<std::string_view, 8> kClientRequirementPieces = {
    "anchor apple generic",
    " and (",
    "identifier com.quorvant.TarnelX7 or identifier com.quorvant.TarnelX7Helper or identifier "
    "com.quorvant.TarnelX7.XPCAction or identifier com.quorvant.TarnelX7.XPCPrivileged or "
    "identifier com.quorvant.TarnelX7.XPCFetch",
    " or identifier com.quorvant.TarnelX8 or identifier com.quorvant.TarnelX8Helper or identifier "
    "com.quorvant.TarnelX8.XPCAction or identifier com.quorvant.TarnelX8.XPCPrivileged or "
    "identifier com.quorvant.TarnelX8.XPCFetch",
    " or identifier com.quorvant.Mossbank12",
    " or identifier com.quorvant.Update.updater or identifier com.quorvant.UpdateHelper2 or "
    "identifier com.quorvant.UpdateXPCAction or identifier com.quorvant.UpdateXPCPrivileged",
    ")",
    " and certificate leaf[subject.OU] = K3VQ8ZT2MN and info [CFBundleShortVersionString] >= "
    "\"7.0\"",
};

// Every architecture, nested code, strict validation.
constexpr SecCSFlags kClientValidityFlags =
    kSecCSCheckAllArchitectures | kSecCSCheckNestedCode | kSecCSStrictValidate;

}  // namespace

const SecRequirement* ClientRequirement::compiled(CodeSigning& codeSigning) {
  std::call_once(once_, [&] {
    std::unique_ptr<SecRequirement> requirement;
    if (codeSigning.createRequirement(SharedSigning::clientRequirementText(), kSecCSDefaultFlags,
                                      requirement) == errSecSuccess) {
      requirement_ = std::move(requirement);
    }
  });
  return requirement_.get();
}

std::string SharedSigning::clientRequirementText() {
  std::string text;
  for (const auto piece : kClientRequirementPieces) text += piece;
  return text;
}

ClientRequirement& SharedSigning::clientRequirement() {
  // Never destroyed: validations on other threads may still use it while the process ends.
  static ClientRequirement* const requirement = new ClientRequirement;
  return *requirement;
}

SharedSigning::Result SharedSigning::validateCode(Platform& platform, const SecCode& code) {
  return validateCode(platform, code, clientRequirement());
}

SharedSigning::Result SharedSigning::validateConnection(Platform& platform,
                                                        const XPCConnection& connection) {
  return validateConnection(platform, connection, clientRequirement());
}

SharedSigning::Result SharedSigning::validateOwnCode(Platform& platform) {
  return validateOwnCode(platform, clientRequirement());
}

SharedSigning::Result SharedSigning::validateCode(Platform& platform, const SecCode& code,
                                                  ClientRequirement& requirement) {
  std::unique_ptr<SecStaticCode> staticCode;
  if (platform.codeSigning.copyStaticCode(code, kSecCSDefaultFlags, staticCode) != errSecSuccess) {
    return std::unexpected(SigningError::notValidSigning);
  }
  const SecRequirement* compiled = requirement.compiled(platform.codeSigning);
  if (!compiled || !staticCode) return std::unexpected(SigningError::notValidSigning);
  if (platform.codeSigning.checkValidity(*staticCode, kClientValidityFlags, *compiled) !=
      errSecSuccess) {
    return std::unexpected(SigningError::notValidSigning);
  }
  return {};
}

SharedSigning::Result SharedSigning::validateOwnCode(Platform& platform,
                                                     ClientRequirement& requirement) {
  std::unique_ptr<SecCode> self;
  if (platform.codeSigning.copySelf(kSecCSDefaultFlags, self) != errSecSuccess || !self) {
    return std::unexpected(SigningError::notValidSigning);
  }
  return validateCode(platform, *self, requirement);
}

SharedSigning::Result SharedSigning::validateConnection(Platform& platform,
                                                        const XPCConnection& connection,
                                                        ClientRequirement& requirement) {
  if (auto own = validateOwnCode(platform, requirement); !own) return own;
  const auto token = connection.auditToken();
  if (!token || token->size() != kAuditTokenLength) {
    return std::unexpected(SigningError::notValidSigning);
  }
  const Dictionary attributes{{Value(kSecGuestAttributeAudit), Value(*token)}};
  std::unique_ptr<SecCode> guest;
  if (platform.codeSigning.copyGuestWithAttributes(attributes, kSecCSDefaultFlags, guest) !=
          errSecSuccess ||
      !guest) {
    return std::unexpected(SigningError::notValidSigning);
  }
  return validateCode(platform, *guest, requirement);
}

}  // namespace tarnel
