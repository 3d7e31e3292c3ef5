#include "platform/linux/posix/pidfd.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarnel::linux_platform {

namespace {

constexpr long kPidfsMagic = 0x50494446;

}  // namespace

// Debian 12's <sys/pidfd.h> declares its functions without C linkage, hence the raw calls.
UniqueFd openPidfd(pid_t pid) {
  return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
}

UniqueFd peerPidfd(int socketFd) {
  int pidfd = -1;
  socklen_t length = sizeof pidfd;
  if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &length) != 0) return UniqueFd();
  return UniqueFd(pidfd);
}

bool pidfdProcessAlive(int pidfd) {
  return ::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0) == 0;
}

std::optional<std::uint64_t> pidfdProcessIdentity(int pidfd) {
  struct statfs fileSystem {};
  if (::fstatfs(pidfd, &fileSystem) != 0 || fileSystem.f_type != kPidfsMagic) return std::nullopt;
  struct stat status {};
  if (::fstat(pidfd, &status) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_ino);
}

}  // namespace tarnel::linux_platform
