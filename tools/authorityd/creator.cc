#include "tools/authorityd/creator.h"

#include <sys/socket.h>

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/process_status.h"
#include "platform/linux/posix/unix_socket.h"

namespace tarnel::authorityd {

std::optional<Creator> connectedCreator(int socketFd) {
  const auto peer = linux_platform::peerCredentials(socketFd);
  if (!peer) return std::nullopt;
  const ucred& credentials = *peer;
  // Where the kernel gives no pidfd with the connection (before Linux 6.5), one opened now names
  // the process that holds the id now: a client that left at once and whose id was reused in
  // between would be taken for its successor, which the start time then names.
  auto pidfd = linux_platform::peerPidfd(socketFd);
  if (!pidfd) pidfd = linux_platform::openPidfd(credentials.pid);
  if (!pidfd) return std::nullopt;
  const auto startTime = linux_platform::processStartTime(credentials.pid);
  // Read while the pidfd held the process that connected: if it still runs, the id was its own.
  if (!startTime || !linux_platform::pidfdProcessAlive(pidfd.get())) return std::nullopt;
  return Creator{.user = credentials.uid,
                 .processId = credentials.pid,
                 .startTime = *startTime,
                 .processIdentity = linux_platform::pidfdProcessIdentity(pidfd.get())};
}

bool stillRuns(const Creator& creator) {
  return linux_platform::processStartTime(creator.processId) == creator.startTime;
}

}  // namespace tarnel::authorityd
