#include "platform/linux/code_signing/own_code_verdict.h"

namespace tarnel::linux_platform {

std::expected<std::shared_ptr<const RequirementContext>, SigningFailure> OwnCodeVerdict::validate(
    int fd, const std::string& anchorsFolder, SecCSFlags flags) {
  // Read before the validation: a change while it runs shows as a difference next time.
  const auto executable = fileStateOf(fd);
  auto anchors = readAnchorsState(anchorsFolder);
  std::optional<Grounds> grounds;
  if (executable && anchors) grounds = Grounds{*executable, std::move(*anchors), flags};
  if (grounds) {
    const std::lock_guard lock(mutex_);
    if (kept_ && kept_->grounds == *grounds &&
        std::chrono::system_clock::now() < kept_->validUntil) {
      return kept_->context;
    }
  }
  auto validated = validateCode(fd, anchorsFolder, flags);
  if (!validated) return std::unexpected(validated.error());
  auto context = std::make_shared<const RequirementContext>(std::move(validated->context));
  if (grounds) {
    const std::lock_guard lock(mutex_);
    kept_ = Verdict{std::move(*grounds), context, validated->validUntil};
  }
  return context;
}

}  // namespace tarnel::linux_platform
