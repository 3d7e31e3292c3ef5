// The authorization server's socket, served on the platform's one server loop: each client on a
// thread of its own, a bounded number at a time, each large frame within one budget.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <string>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/serving/accepted_connection.h"
#include "platform/linux/serving/connection_acceptor.h"
#include "platform/linux/serving/descriptor_budget.h"
#include "platform/linux/serving/frame_budget.h"
#include "platform/linux/serving/request_gate.h"
#include "platform/linux/serving/server_loop.h"
#include "tools/authorityd/authorization_store.h"
#include "tools/authorityd/server_settings.h"

namespace tarnel::authorityd {

// Clients served at once: of users other than root together, of any one of them, and of root's
// own, counted apart (ConnectionShares), where descriptors allow; one more is closed as soon as
// it is accepted.
inline constexpr std::size_t kMaximumConnections = 64;
inline constexpr std::size_t kMaximumConnectionsPerUser = 8;
inline constexpr linux_platform::ShareSizes kWantedShares{.connections = kMaximumConnections,
                                                          .perUser = kMaximumConnectionsPerUser,
                                                          .stuck = 16,
                                                          .stuckPerUser = 2};
// A connection's descriptors: its socket and its peer's pidfd, and while it asks polkit, the
// pipe and pidfd of pkcheck; apart from them, the listening socket, the loop's events, the
// accept reserve, the log and the rules read.
inline constexpr linux_platform::DescriptorNeeds kDescriptorNeeds{.perConnection = 5,
                                                                  .ownWork = 32};
// What the large frames of every client together may take: requests are small, and a client
// that sends a large frame waits for room rather than making the server grow.
inline constexpr std::size_t kFrameBudget = 32 * 1024 * 1024;

class Server {
 public:
  // A server listening at settings.socketPath, open to every user; a socket file left behind by
  // a server that no longer answers is replaced. Raises the descriptor limit to its hard limit
  // and sizes the shares from it. The reason when it cannot listen.
  static std::expected<std::unique_ptr<Server>, AuthoritydError> listen(ServerSettings settings);
  ~Server();

  // Accepts clients for the life of the process.
  [[noreturn]] void run();

 private:
  Server(ServerSettings settings, linux_platform::UniqueFd socket);

  // On the client's own thread: who is at the other end, then its requests.
  void serve(const std::shared_ptr<linux_platform::AcceptedConnection>& accepted);

  const ServerSettings settings_;
  AuthorizationStore store_;
  linux_platform::FrameBudget frames_{kFrameBudget};
  // authorityd never ends of itself: its gate stays open.
  linux_platform::RequestGate gate_;
  linux_platform::ServerLoop loop_;
  std::shared_ptr<linux_platform::ConnectionAcceptor> acceptor_;
};

}  // namespace tarnel::authorityd
