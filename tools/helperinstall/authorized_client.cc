#include "tools/helperinstall/authorized_client.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/requirement/evaluator.h"
#include "platform/linux/code_signing/requirement/parser.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::helperinstall {

std::expected<void, HelperinstallError> checkAuthorizedClient(
    const std::string& path, const std::vector<std::string>& requirements,
    const std::string& anchorsFolder) {
  const linux_platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  using Kind = HelperinstallError::Kind;
  if (!file) {
    return std::unexpected(HelperinstallError{.kind = Kind::cannotOpen, .systemError = errno});
  }
  const auto validated =
      linux_platform::validateSignedFile(file.get(), anchorsFolder, linux_platform::kValidityFlags);
  if (!validated) {
    return std::unexpected(
        HelperinstallError{.kind = Kind::invalidSignature, .subject = validated.error().reason});
  }
  for (const auto& text : requirements) {
    const auto requirement = linux_platform::parseRequirement(text);
    if (requirement && linux_platform::evaluateRequirement(*requirement, *validated)) return {};
  }
  return std::unexpected(HelperinstallError{.kind = Kind::notAnAuthorizedClient});
}

}  // namespace tarnel::helperinstall
