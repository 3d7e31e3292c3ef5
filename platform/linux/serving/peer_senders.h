// Whether bytes came from the peer a server serves, not from a process it passed the connection
// to (a child that inherited the socket) nor from one that took its process id after it ended:
// the one check of both servers.
#pragma once

#include <vector>

#include "platform/linux/posix/process_identity.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

// Whether every one of `senders` (at least one) is `peer`, held by `peerPidfd`: the same process
// id, and the same process by its pidfs identity where the kernel gives both; else by the peer
// still being unreaped when this is asked, after the bytes were read (while it holds its id, no
// other process can have sent under it).
bool sentOnlyBy(const ProcessIdentity& peer, int peerPidfd,
                const std::vector<SenderCredentials>& senders);

}  // namespace tarnel::linux_platform
