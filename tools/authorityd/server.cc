#include "tools/authorityd/server.h"

#include <cerrno>

#include "platform/linux/posix/process_identity.h"
#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/serving/large_allocations.h"
#include "platform/linux/wire/frame_io.h"
#include "tools/authorityd/connection.h"

namespace tarnel::authorityd {

namespace {

using linux_platform::UniqueFd;

}  // namespace

std::expected<std::unique_ptr<Server>, AuthoritydError> Server::listen(ServerSettings settings) {
  // Every user may create authorizations; what they are granted is the rules' business.
  auto socket = linux_platform::listenAt(settings.socketPath);
  if (!socket) {
    return std::unexpected(
        AuthoritydError{AuthoritydError::Kind::cannotListen, socket.error().description});
  }
  // Accepted sockets inherit it, so that even the bytes a client sends before it is accepted
  // carry their sender.
  if (!linux_platform::receiveSenderCredentials(socket->get())) {
    return std::unexpected(AuthoritydError{AuthoritydError::Kind::cannotAskForSenders, {}, errno});
  }
  return std::unique_ptr<Server>(new Server(std::move(settings), std::move(*socket)));
}

Server::Server(ServerSettings settings, UniqueFd socket) : settings_(std::move(settings)) {
  linux_platform::returnLargeAllocationsToTheSystem();
  const auto sizes = linux_platform::sizeShares(linux_platform::raiseDescriptorLimit(),
                                                kDescriptorNeeds, kWantedShares);
  acceptor_ = std::make_shared<linux_platform::ConnectionAcceptor>(
      std::move(socket), sizes, gate_,
      [this](const std::shared_ptr<linux_platform::AcceptedConnection>& accepted) {
        serve(accepted);
      },
      loop_.wake());
  loop_.add(acceptor_);
  acceptor_->start();
}

// The acceptor's threads use the server: they end first.
Server::~Server() { acceptor_->shutDown(); }

void Server::run() {
  loop_.run();
  // A programming error: nothing stops the loop of a server that runs for the life of the process,
  // so run() returning means the loop broke its promise.
  std::abort();
}

void Server::serve(const std::shared_ptr<linux_platform::AcceptedConnection>& accepted) {
  // Who is at the other end, as the kernel recorded it when the client connected; read here,
  // under the validation time limit, never on the accept loop.
  auto peer = linux_platform::connectedPeer(accepted->socket());
  if (!peer) return;
  if (!linux_platform::receiveSenderCredentials(accepted->socket())) return;
  accepted->validated();
  auto connection =
      std::make_shared<Connection>(accepted, std::move(*peer), frames_, store_, settings_);
  accepted->onCut([weak = std::weak_ptr(connection)] {
    if (auto cut = weak.lock()) cut->cut();
  });
  connection->serve();
}

}  // namespace tarnel::authorityd
