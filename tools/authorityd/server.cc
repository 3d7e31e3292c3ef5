#include "tools/authorityd/server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/linux/audit_token.h"
#include "platform/linux/frame_io.h"
#include "platform/linux/pidfd.h"
#include "tools/authorityd/connection.h"
#include "tools/authorityd/server_log.h"

namespace tarnel::authorityd {

namespace {

using linux_platform::UniqueFd;

std::string failure(const std::string& what) {
  return what + ": " + std::generic_category().message(errno);
}

// A socket file at `address` that no server answers is left from one that ended; anything else
// there (a live server, another kind of file) is not ours to remove.
std::expected<void, std::string> clearStaleSocket(const sockaddr_un& address) {
  struct stat status {};
  if (::lstat(address.sun_path, &status) != 0) {
    if (errno == ENOENT) return {};
    return std::unexpected(failure(std::string("cannot inspect ") + address.sun_path));
  }
  if (!S_ISSOCK(status.st_mode)) {
    return std::unexpected(std::string(address.sun_path) + " exists and is not a socket");
  }
  UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!probe) return std::unexpected(failure("cannot make a socket"));
  if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return std::unexpected(std::string("a server already answers at ") + address.sun_path);
  }
  if (errno != ECONNREFUSED) return std::unexpected(failure(std::string("cannot probe ") + address.sun_path));
  if (::unlink(address.sun_path) != 0) {
    return std::unexpected(failure(std::string("cannot remove ") + address.sun_path));
  }
  return {};
}

}  // namespace

std::expected<std::unique_ptr<Server>, std::string> Server::listen(ServerSettings settings) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (settings.socketPath.size() >= sizeof address.sun_path) {
    return std::unexpected("socket path too long: " + settings.socketPath);
  }
  std::memcpy(address.sun_path, settings.socketPath.c_str(), settings.socketPath.size() + 1);

  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return std::unexpected(failure("cannot make a socket"));
  // On the listening socket, so that even the bytes a client sends before it is accepted carry
  // their sender.
  if (!linux_platform::receiveSenderCredentials(socket.get())) {
    return std::unexpected(failure("cannot ask for sender credentials"));
  }
  if (auto cleared = clearStaleSocket(address); !cleared) return std::unexpected(cleared.error());
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return std::unexpected(failure("cannot bind " + settings.socketPath));
  }
  // Every user may create authorizations; what they are granted is the rules' business.
  if (::chmod(settings.socketPath.c_str(), 0666) != 0) {
    return std::unexpected(failure("cannot open " + settings.socketPath + " to every user"));
  }
  if (::listen(socket.get(), SOMAXCONN) != 0) {
    return std::unexpected(failure("cannot listen on " + settings.socketPath));
  }
  return std::unique_ptr<Server>(new Server(std::move(settings), std::move(socket)));
}

void Server::run() {
  while (true) {
    UniqueFd client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
      // A client that gave up before it was accepted, or a passing shortage: keep serving.
      if (errno != EINTR && errno != ECONNABORTED) logLine(failure("cannot accept"));
      continue;
    }
    // One more client than allowed is closed at once: it is refused, never kept waiting.
    if (connections_.fetch_add(1) >= kMaximumConnections) {
      connections_.fetch_sub(1);
      continue;
    }
    try {
      std::thread([this, client = std::move(client)]() mutable {
        serve(std::move(client));
        connections_.fetch_sub(1);
      }).detach();
    } catch (const std::system_error&) {
      connections_.fetch_sub(1);
      logLine("cannot start a thread for a client");
    }
  }
}

void Server::serve(UniqueFd client) {
  const auto token = linux_platform::peerAuditToken(client.get());
  if (!token) return;
  std::optional<std::uint64_t> identity;
  if (const UniqueFd pidfd = linux_platform::peerPidfd(client.get())) {
    identity = linux_platform::pidfdProcessIdentity(pidfd.get());
  }
  if (!linux_platform::receiveSenderCredentials(client.get())) return;
  Connection(std::move(client), Peer{.token = *token, .processIdentity = identity}, store_,
             settings_)
      .serve();
}

}  // namespace tarnel::authorityd
