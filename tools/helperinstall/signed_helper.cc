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

std::expected<SignedHelper, std::string> readSignedHelper(int fd,
                                                          const std::string& anchorsFolder) {
  const auto validated = validateSignedFile(fd, anchorsFolder, kValidityFlags);
  if (!validated) return std::unexpected("its signature is not valid: " + validated.error().reason);

  SignedHelper helper;
  const Value* identifier = validated->info.find("CFBundleIdentifier");
  if (identifier == nullptr || identifier->get<std::string>() == nullptr) {
    return std::unexpected(std::string("its information property list has no CFBundleIdentifier"));
  }
  helper.label = *identifier->get<std::string>();
  if (!isSafeName(helper.label)) {
    return std::unexpected("its bundle identifier is not a name for a file: " + helper.label);
  }
  if (validated->identifier != helper.label) {
    return std::unexpected("it is signed as " + validated->identifier +
                           ", not as its bundle identifier " + helper.label);
  }

  const Value* clients = validated->info.find("SMAuthorizedClients");
  const Array* requirements = clients == nullptr ? nullptr : clients->get<Array>();
  for (const auto& requirement : requirements == nullptr ? Array() : *requirements) {
    const auto* text = requirement.get<std::string>();
    if (text == nullptr) {
      return std::unexpected(std::string("its SMAuthorizedClients holds a value that is not text"));
    }
    helper.authorizedClients.push_back(*text);
  }
  if (helper.authorizedClients.empty()) {
    return std::unexpected(std::string("it names no authorized clients (SMAuthorizedClients)"));
  }

  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::unexpected(std::string("it cannot be read"));
  const auto image = readElfImage(fd, static_cast<std::uint64_t>(status.st_size));
  if (!image) return std::unexpected(describe(image.error()));
  const auto launchdPlist = readElfSection(fd, *image, kLaunchdPlistSection, kMaxInfoPlistLength);
  if (!launchdPlist) return std::unexpected(describe(launchdPlist.error()));
  if (!*launchdPlist) {
    return std::unexpected(std::string("it carries no launchd property list (__launchd_plist)"));
  }
  helper.launchdPlist = std::move(**launchdPlist);
  return helper;
}

}  // namespace tarnel::helperinstall
