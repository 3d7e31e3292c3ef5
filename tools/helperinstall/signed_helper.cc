#include "tools/helperinstall/signed_helper.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/code_signing/info_plist.h"

namespace tarnel::helperinstall {

namespace {

using namespace linux_platform;

// The label names a file in two system folders.
bool isSafeName(const std::string& name) {
  const auto ordinary = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
  };
  return !name.empty() && !name.starts_with('.') && std::ranges::all_of(name, ordinary);
}

}  // namespace

std::expected<SignedHelper, HelperinstallError> readSignedHelper(int fd,
                                                                 const std::string& anchorsFolder) {
  using Kind = HelperinstallError::Kind;
  const auto refused = [](Kind kind, std::string subject = {}, std::string detail = {}) {
    return std::unexpected(HelperinstallError{
        .kind = kind, .subject = std::move(subject), .detail = std::move(detail)});
  };
  const auto validated = validateSignedFile(fd, anchorsFolder, kValidityFlags);
  if (!validated) return refused(Kind::invalidSignature, validated.error().reason);

  SignedHelper helper;
  const Value* identifier = validated->info.find("CFBundleIdentifier");
  if (identifier == nullptr || identifier->get<std::string>() == nullptr) {
    return refused(Kind::noBundleIdentifier);
  }
  helper.label = *identifier->get<std::string>();
  if (!isSafeName(helper.label)) {
    return refused(Kind::bundleIdentifierNotAName, helper.label);
  }
  if (validated->identifier != helper.label) {
    return refused(Kind::signedAsOther, validated->identifier, helper.label);
  }

  const Value* clients = validated->info.find("SMAuthorizedClients");
  const Array* requirements = clients == nullptr ? nullptr : clients->get<Array>();
  for (const auto& requirement : requirements == nullptr ? Array() : *requirements) {
    const auto* text = requirement.get<std::string>();
    if (text == nullptr) {
      return refused(Kind::authorizedClientNotText);
    }
    helper.authorizedClients.push_back(*text);
  }
  if (helper.authorizedClients.empty()) {
    return refused(Kind::noAuthorizedClients);
  }

  struct stat status {};
  if (::fstat(fd, &status) != 0) return refused(Kind::helperUnreadable);
  const auto image = readElfImage(fd, static_cast<std::uint64_t>(status.st_size));
  if (!image) return refused(Kind::codeUnreadable, describe(image.error()));
  const auto launchdPlist = readElfSection(fd, *image, kLaunchdPlistSection, kMaxInfoPlistLength);
  if (!launchdPlist) return refused(Kind::codeUnreadable, describe(launchdPlist.error()));
  if (!*launchdPlist) {
    return refused(Kind::noLaunchdPlist);
  }
  helper.launchdPlist = std::move(**launchdPlist);
  return helper;
}

}  // namespace tarnel::helperinstall
