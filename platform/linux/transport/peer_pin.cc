#include "platform/linux/transport/peer_pin.h"

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/serving/peer_senders.h"

namespace tarnel::linux_platform {

namespace {

// The process that connected: through the socket's own pidfd where the kernel gives one, which
// names the very process that connected; else by its id, then confirmed by its start time.
std::optional<ProcessHandle> connectedProcess(int socketFd, const AuditToken& token) {
  const auto pid = static_cast<pid_t>(token.processId);
  if (auto pidfd = peerPidfd(socketFd)) return ProcessHandle::adopt(std::move(pidfd), pid);
  auto process = ProcessHandle::open(pid);
  if (!process || processVersion(pid) != token.processVersion) return std::nullopt;
  return process;
}

}  // namespace

PeerPin::PeerPin(int socketFd, std::optional<AuditToken> token) : token_(token) {
  if (!token_) return;
  process_ = connectedProcess(socketFd, *token_);
  if (!process_) return;
  image_ = process_->captureImage();
  identity_ = pidfdProcessIdentity(process_->pidfd());
}

bool PeerPin::admits(const std::vector<SenderCredentials>& senders) const {
  if (!token_ || !process_) return false;
  const ProcessIdentity pinned{.pid = static_cast<pid_t>(token_->processId),
                               .pidfsIdentity = identity_};
  return sentOnlyBy(pinned, process_->pidfd(), senders);
}

std::optional<std::string> PeerPin::breach() const {
  if (!process_ || !image_) return "it could not be held for inspection";
  // The cheapest check first: one read through the held image.
  if (!image_->unchanged()) return "it has called exec since it was validated, or has ended";
  const auto open = process_->openToItsUser();
  if (!open) return "it cannot be inspected any more";
  if (*open) return "it has become dumpable: other processes of its user may attach to it";
  const auto traced = process_->traced();
  if (!traced) return "it cannot be inspected any more";
  if (*traced) return "it is being traced";
  return std::nullopt;
}

}  // namespace tarnel::linux_platform
