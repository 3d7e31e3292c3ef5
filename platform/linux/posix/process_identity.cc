#include "platform/linux/posix/process_identity.h"

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/process_status.h"
#include "platform/linux/posix/unix_socket.h"

namespace tarnel::linux_platform {

std::optional<ProcessIdentity> identifyProcess(pid_t pid) {
  const auto stat = readProcessStat(pid);
  if (!stat) return std::nullopt;
  return ProcessIdentity{.pid = pid, .startTime = stat->startTime};
}

bool isPresent(const ProcessIdentity& process) {
  const auto stat = readProcessStat(process.pid);
  return stat && stat->startTime == process.startTime;
}

bool isRunning(const ProcessIdentity& process) {
  const auto stat = readProcessStat(process.pid);
  return stat && stat->startTime == process.startTime && !stat->hasExited();
}

std::optional<ConnectedPeer> connectedPeer(int socketFd) {
  const auto credentials = peerCredentials(socketFd);
  if (!credentials) return std::nullopt;
  // Where the kernel gives no pidfd with the connection (before Linux 6.5), one opened now names
  // the process that holds the id now: a peer that left at once and whose id was reused in
  // between would be taken for its successor, which the start time then names.
  auto pidfd = peerPidfd(socketFd);
  if (!pidfd) pidfd = openPidfd(credentials->pid);
  if (!pidfd) return std::nullopt;
  const auto startTime = processStartTime(credentials->pid);
  // Read while the pidfd held the process that connected: if it still runs, the id was its own.
  if (!startTime || !pidfdProcessAlive(pidfd.get())) return std::nullopt;
  return ConnectedPeer{
      .credentials = *credentials,
      .process = ProcessIdentity{.pid = credentials->pid,
                                 .startTime = *startTime,
                                 .pidfsIdentity = pidfdProcessIdentity(pidfd.get())},
      .pidfd = std::move(pidfd)};
}

}  // namespace tarnel::linux_platform
