#include "platform/linux/serving/peer_senders.h"

#include <algorithm>

#include "platform/linux/posix/pidfd.h"

namespace tarnel::linux_platform {

bool sentOnlyBy(const ProcessIdentity& peer, int peerPidfd,
                const std::vector<SenderCredentials>& senders) {
  const auto isPeer = [&](const SenderCredentials& sender) {
    if (sender.processId <= 0 || sender.processId != peer.pid) return false;
    if (peer.pidfsIdentity && sender.processIdentity) {
      return *peer.pidfsIdentity == *sender.processIdentity;
    }
    return peerPidfd >= 0 && pidfdProcessAlive(peerPidfd);
  };
  return !senders.empty() && std::ranges::all_of(senders, isPeer);
}

}  // namespace tarnel::linux_platform
