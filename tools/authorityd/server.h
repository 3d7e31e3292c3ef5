// The authorization server's socket and its accept loop: each client served on a thread of its
// own, a bounded number at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <expected>
#include <memory>
#include <string>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/wire/connection_shares.h"
#include "tools/authorityd/authorization_store.h"
#include "tools/authorityd/server_settings.h"

namespace tarnel::authorityd {

// Clients served at once: of users other than root together, of any one of them, and of root's
// own, counted apart (ConnectionShares); one more is closed as soon as it is accepted.
inline constexpr std::size_t kMaximumConnections = 64;
inline constexpr std::size_t kMaximumConnectionsPerUser = 8;

class Server {
 public:
  // A server listening at settings.socketPath, open to every user; a socket file left behind by
  // a server that no longer answers is replaced. The reason when it cannot listen.
  static std::expected<std::unique_ptr<Server>, std::string> listen(ServerSettings settings);

  // Accepts clients for the life of the process.
  [[noreturn]] void run();

 private:
  Server(ServerSettings settings, linux_platform::UniqueFd socket)
      : settings_(std::move(settings)), socket_(std::move(socket)) {}

  // Accepts every client waiting, each on a thread of its own, or closes it at once when its
  // user holds its share of clients, or all are taken.
  void acceptPending();
  void serve(linux_platform::UniqueFd client);

  const ServerSettings settings_;
  linux_platform::UniqueFd socket_;
  AuthorizationStore store_;
  linux_platform::ConnectionShares shares_{kMaximumConnections, kMaximumConnectionsPerUser};
};

}  // namespace tarnel::authorityd
