#include "platform/linux/posix/socket_holder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>  // rtattr
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

// More descriptors than any client of ours holds; past it the answer is "does not hold".
constexpr std::size_t kMaxDescriptors = 4096;

struct CloseDirectory {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

struct DiagnosticsRequest {
  nlmsghdr header;
  unix_diag_req request;
};

// Netlink's items (messages, and attributes within them) start at multiples of four bytes.
constexpr std::size_t aligned(std::size_t length) { return (length + 3) & ~std::size_t{3}; }

// An item of type T at `at` in `bytes`, copied out: the answer's items need not be aligned for T.
template <class T>
T itemAt(const char* bytes, std::size_t at) {
  T item{};
  std::memcpy(&item, bytes + at, sizeof item);
  return item;
}

// The peer's inode in the attributes between `at` and `end` of `answer`; nothing without one.
std::optional<std::uint32_t> peerAttribute(const char* answer, std::size_t at, std::size_t end) {
  while (at + sizeof(rtattr) <= end) {
    const auto attribute = itemAt<rtattr>(answer, at);
    if (attribute.rta_len < sizeof attribute || attribute.rta_len > end - at) return std::nullopt;
    if (attribute.rta_type == UNIX_DIAG_PEER &&
        attribute.rta_len >= aligned(sizeof attribute) + sizeof(std::uint32_t)) {
      const auto peer = itemAt<std::uint32_t>(answer, at + aligned(sizeof attribute));
      if (peer == 0) return std::nullopt;
      return peer;
    }
    at += aligned(attribute.rta_len);
  }
  return std::nullopt;
}

// The peer's inode in the answer `answer` of `length` bytes about the socket `inode`.
std::optional<std::uint32_t> peerInAnswer(const char* answer, std::size_t length,
                                          std::uint32_t inode) {
  std::size_t at = 0;
  while (at + sizeof(nlmsghdr) <= length) {
    const auto header = itemAt<nlmsghdr>(answer, at);
    if (header.nlmsg_len < sizeof header || header.nlmsg_len > length - at) return std::nullopt;
    if (header.nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;  // an error, or the end
    const std::size_t body = at + aligned(sizeof header);
    const std::size_t end = at + header.nlmsg_len;
    if (body + sizeof(unix_diag_msg) <= end &&
        itemAt<unix_diag_msg>(answer, body).udiag_ino == inode) {
      return peerAttribute(answer, body + aligned(sizeof(unix_diag_msg)), end);
    }
    at += aligned(header.nlmsg_len);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> peerSocketInode(int socketFd) {
  struct stat status {};
  if (::fstat(socketFd, &status) != 0 || !S_ISSOCK(status.st_mode)) return std::nullopt;
  const auto inode = static_cast<std::uint32_t>(status.st_ino);

  const UniqueFd diagnostics(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!diagnostics) return std::nullopt;
  DiagnosticsRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.request.sdiag_family = AF_UNIX;
  request.request.udiag_states = ~0U;
  request.request.udiag_ino = inode;
  request.request.udiag_show = UDIAG_SHOW_PEER;
  request.request.udiag_cookie[0] = INET_DIAG_NOCOOKIE;
  request.request.udiag_cookie[1] = INET_DIAG_NOCOOKIE;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(diagnostics.get(), &request, sizeof request, 0,
               reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) != sizeof request) {
    return std::nullopt;
  }
  // The kernel answers within the send, so the answer is waiting: never block on it.
  char answer[8192];
  const ssize_t length = ::recv(diagnostics.get(), answer, sizeof answer, MSG_DONTWAIT);
  if (length <= 0) return std::nullopt;
  return peerInAnswer(answer, static_cast<std::size_t>(length), inode);
}

bool processHoldsSocket(pid_t pid, std::uint32_t inode) {
  if (pid <= 0) return false;
  const int fd =
      ::open(("/proc/" + std::to_string(pid) + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // fdopendir takes the descriptor over when it succeeds; when it fails the descriptor is ours.
  const std::unique_ptr<DIR, CloseDirectory> directory(::fdopendir(fd));
  if (!directory) {
    ::close(fd);
    return false;
  }
  const std::string wanted = "socket:[" + std::to_string(inode) + "]";
  char target[64];
  std::size_t seen = 0;
  while (const dirent* entry = ::readdir(directory.get())) {
    if (entry->d_name[0] == '.') continue;
    if (++seen > kMaxDescriptors) return false;
    const ssize_t length =
        ::readlinkat(::dirfd(directory.get()), entry->d_name, target, sizeof target);
    if (length > 0 && std::string_view(target, static_cast<std::size_t>(length)) == wanted) {
      return true;
    }
  }
  return false;
}

}  // namespace tarnel::linux_platform
