#include "tools/authorityd/server.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/wire/frame_io.h"
#include "tools/authorityd/connection.h"
#include "tools/authorityd/creator.h"
#include "tools/authorityd/server_log.h"

namespace tarnel::authorityd {

namespace {

using linux_platform::UniqueFd;

std::string failure(const std::string& what) {
  return what + ": " + std::generic_category().message(errno);
}

}  // namespace

std::expected<std::unique_ptr<Server>, std::string> Server::listen(ServerSettings settings) {
  // Every user may create authorizations; what they are granted is the rules' business.
  auto socket = linux_platform::listenAt(settings.socketPath);
  if (!socket) return std::unexpected(socket.error().description);
  // Accepted sockets inherit it, so that even the bytes a client sends before it is accepted
  // carry their sender.
  if (!linux_platform::receiveSenderCredentials(socket->get())) {
    return std::unexpected(failure("cannot ask for sender credentials"));
  }
  return std::unique_ptr<Server>(new Server(std::move(settings), std::move(*socket)));
}

void Server::run() {
  while (true) {
    pollfd waiting{.fd = socket_.get(), .events = POLLIN, .revents = 0};
    if (::poll(&waiting, 1, -1) < 0 && errno != EINTR) logLine(failure("cannot wait for clients"));
    acceptPending();
  }
}

void Server::acceptPending() {
  while (true) {
    UniqueFd client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Nothing left waiting, or a passing shortage: back to waiting either way.
      if (errno != EAGAIN) logLine(failure("cannot accept"));
      return;
    }
    // One more client than allowed is closed at once: it is refused, never kept waiting.
    const auto user = linux_platform::ConnectionShares::userAt(client.get());
    auto slot = user ? shares_.take(*user) : std::nullopt;
    if (!slot) continue;
    try {
      std::thread([this, client = std::move(client), slot = std::move(*slot)]() mutable {
        serve(std::move(client));
      }).detach();
    } catch (const std::system_error&) {
      logLine("cannot start a thread for a client");
    }
  }
}

void Server::serve(UniqueFd client) {
  // Who is at the other end, as the kernel recorded it when the client connected.
  const auto creator = connectedCreator(client.get());
  if (!creator) return;
  if (!linux_platform::receiveSenderCredentials(client.get())) return;
  Connection(std::move(client), *creator, store_, settings_).serve();
}

}  // namespace tarnel::authorityd
