#include "platform/linux/transport/peer_pin.h"

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/socket_holder.h"
#include "platform/linux/serving/peer_senders.h"

namespace tarnel::linux_platform {

namespace {

// The process that connected: through the socket's own pidfd where the kernel gives one, which
// names the very process that connected. Else by its id, which alone could name a process that
// took the id over after the connector handed its socket on and ended: the process is held, its
// start time must be the token's, it must hold the peer's end of the socket, and it must still be
// held alive afterwards, so that what its descriptors showed was its own.
std::optional<ProcessHandle> connectedProcess(int socketFd, const AuditToken& token,
                                              PeerLookup lookup) {
  const auto pid = static_cast<pid_t>(token.processId);
  if (lookup == PeerLookup::socketPidfdWhereOffered) {
    if (auto pidfd = peerPidfd(socketFd)) return ProcessHandle::adopt(std::move(pidfd), pid);
  }
  auto process = ProcessHandle::open(pid);
  if (!process || processVersion(pid) != token.processVersion) return std::nullopt;
  const auto peerSocket = peerSocketInode(socketFd);
  if (!peerSocket || !processHoldsSocket(pid, *peerSocket) ||
      !pidfdProcessAlive(process->pidfd())) {
    return std::nullopt;
  }
  return process;
}

}  // namespace

PeerPin::PeerPin(int socketFd, std::optional<AuditToken> token, PeerLookup lookup) : token_(token) {
  if (!token_) return;
  process_ = connectedProcess(socketFd, *token_, lookup);
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
  // A sealed start leaves two things that can still change: the image, by an exec, and
  // dumpability, by the process itself. A process that is not dumpable cannot come to be traced
  // by anyone but root, so its tracers need no second look.
  if (!image_->unchanged()) return "it has called exec since it was validated, or has ended";
  const auto open = process_->openToItsUser();
  if (!open) return "it cannot be inspected any more";
  if (*open) return "it has become dumpable: other processes of its user may attach to it";
  return std::nullopt;
}

}  // namespace tarnel::linux_platform
