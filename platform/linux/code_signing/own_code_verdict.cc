#include "platform/linux/code_signing/own_code_verdict.h"

namespace tarnel::linux_platform {

std::expected<std::shared_ptr<const RequirementContext>, SigningFailure> OwnCodeVerdict::validate(
    int fd, const std::string& anchorsFolder, SecCSFlags flags) {
  const auto executable = fileStateOf(fd);
  {
    const std::lock_guard lock(mutex_);
    if (kept_ && executable && kept_->grounds.executable == *executable &&
        kept_->grounds.flags == flags && kept_->anchorsFolder == anchorsFolder &&
        std::chrono::system_clock::now() < kept_->validUntil &&
        anchorsStillIn(anchorsFolder, kept_->grounds.anchors)) {
      return kept_->context;
    }
  }
  // Read before the validation: a change while it runs shows as a difference next time.
  auto anchors = readAnchorsState(anchorsFolder);
  auto validated = validateCode(fd, anchorsFolder, flags);
  if (!validated) return std::unexpected(validated.error());
  auto context = std::make_shared<const RequirementContext>(std::move(validated->context));
  if (executable && anchors) {
    const std::lock_guard lock(mutex_);
    kept_ = Verdict{.grounds = {*executable, std::move(*anchors), flags},
                    .anchorsFolder = anchorsFolder,
                    .context = context,
                    .validUntil = validated->validUntil};
  }
  return context;
}

}  // namespace tarnel::linux_platform
