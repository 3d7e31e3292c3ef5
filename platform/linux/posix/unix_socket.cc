#include "platform/linux/posix/unix_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarnel::linux_platform {

namespace {

// A backlog deep enough for a burst of clients started at once.
constexpr int kBacklog = 128;

std::expected<sockaddr_un, PlatformError> addressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path ||
      path.find('\0') != std::string::npos) {
    return std::unexpected(posixError("socket address " + path, ENAMETOOLONG));
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

std::expected<UniqueFd, PlatformError> newSocket(int flags) {
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0));
  if (!socket) return std::unexpected(posixError("socket", errno));
  return socket;
}

int connectSocket(int socketFd, const sockaddr_un& address) {
  int result = 0;
  do {
    result = ::connect(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

// Removes a socket file at `path` that no listener answers at any more.
std::expected<void, PlatformError> clearStaleSocket(const std::string& path,
                                                    const sockaddr_un& address) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return {};
    return std::unexpected(posixError("lstat " + path, errno));
  }
  if (!S_ISSOCK(status.st_mode)) return std::unexpected(posixError("listen at " + path, EEXIST));
  // Non-blocking, so that a live listener with a full backlog answers EAGAIN instead of holding us.
  auto probe = newSocket(SOCK_NONBLOCK);
  if (!probe) return std::unexpected(probe.error());
  const int refused = connectSocket(probe->get(), address);
  if (refused == 0 || refused == EAGAIN || refused == EINPROGRESS) {
    return std::unexpected(
        posixError("listen at " + path + ": a listener answers there", EADDRINUSE));
  }
  if (refused != ECONNREFUSED) return std::unexpected(posixError("connect " + path, refused));
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return std::unexpected(posixError("unlink " + path, errno));
  }
  return {};
}

}  // namespace

PlatformError posixError(std::string_view what, int errorNumber) {
  return PlatformError{.domain = posixErrorDomain,
                       .code = errorNumber,
                       .description = std::string(what) + ": " + std::strerror(errorNumber)};
}

std::expected<UniqueFd, PlatformError> listenAt(const std::string& path) {
  const auto address = addressOf(path);
  if (!address) return std::unexpected(address.error());
  if (auto cleared = clearStaleSocket(path, *address); !cleared) {
    return std::unexpected(cleared.error());
  }
  auto socket = newSocket(SOCK_NONBLOCK);
  if (!socket) return socket;
  if (::bind(socket->get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    return std::unexpected(posixError("bind " + path, errno));
  }
  if (::chmod(path.c_str(), 0666) != 0) return std::unexpected(posixError("chmod " + path, errno));
  if (::listen(socket->get(), kBacklog) != 0) {
    return std::unexpected(posixError("listen " + path, errno));
  }
  return socket;
}

std::expected<UniqueFd, PlatformError> connectTo(const std::string& path) {
  const auto address = addressOf(path);
  if (!address) return std::unexpected(address.error());
  auto socket = newSocket(0);
  if (!socket) return socket;
  if (const int error = connectSocket(socket->get(), *address); error != 0) {
    return std::unexpected(posixError("connect " + path, error));
  }
  return socket;
}

std::optional<ucred> peerCredentials(int socketFd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
      credentials.pid <= 0) {
    return std::nullopt;
  }
  return credentials;
}

std::optional<std::string> boundPath(int socketFd) {
  sockaddr_un address{};
  socklen_t length = sizeof address;
  if (::getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path) ||
      address.sun_path[0] == '\0') {
    return std::nullopt;
  }
  const auto pathLength = length - offsetof(sockaddr_un, sun_path);
  return std::string(address.sun_path, ::strnlen(address.sun_path, pathLength));
}

bool isListeningUnixStreamSocket(int socketFd) {
  auto option = [socketFd](int name) {
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(socketFd, SOL_SOCKET, name, &value, &length) == 0 ? value : -1;
  };
  return option(SO_DOMAIN) == AF_UNIX && option(SO_TYPE) == SOCK_STREAM &&
         option(SO_ACCEPTCONN) == 1;
}

}  // namespace tarnel::linux_platform
