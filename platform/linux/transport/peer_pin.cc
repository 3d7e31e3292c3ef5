#include "platform/linux/transport/peer_pin.h"

#include "platform/linux/posix/pidfd.h"

namespace tarnel::linux_platform {

PeerPin::PeerPin(int socketFd, std::optional<AuditToken> token)
    : token_(token), pidfd_(peerPidfd(socketFd)) {
  if (pidfd_) identity_ = pidfdProcessIdentity(pidfd_.get());
}

bool PeerPin::admits(const std::vector<SenderCredentials>& senders) const {
  if (!token_ || senders.empty()) return false;
  for (const auto& sender : senders) {
    if (!isPinnedProcess(sender)) return false;
  }
  return true;
}

bool PeerPin::isPinnedProcess(const SenderCredentials& sender) const {
  if (sender.processId <= 0 || static_cast<std::uint32_t>(sender.processId) != token_->processId) {
    return false;
  }
  if (identity_ && sender.processIdentity) return *identity_ == *sender.processIdentity;
  // While the pinned process lives, no other process can hold its id.
  if (pidfd_) return pidfdProcessAlive(pidfd_.get());
  return processVersion(sender.processId) == token_->processVersion;
}

}  // namespace tarnel::linux_platform
