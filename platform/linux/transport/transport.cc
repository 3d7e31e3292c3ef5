#include "platform/linux/transport/transport.h"

#include <algorithm>

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/serving/large_allocations.h"
#include "platform/linux/transport/interface.h"

namespace tarnel::linux_platform {

LinuxTransport::LinuxTransport(Log& log, std::string socketDirectory)
    : socketDirectory_(std::move(socketDirectory)),
      sizes_(sizeShares(raiseDescriptorLimit(), kDescriptorNeeds, kWantedShares)),
      services_{.log = log, .frames = frames_} {
  returnLargeAllocationsToTheSystem();
}

LinuxTransport::~LinuxTransport() = default;

std::string LinuxTransport::socketPath(const std::string& name) const {
  return socketDirectory_ + "/" + name;
}

std::optional<ActivatedSocket> LinuxTransport::takeActivated(const std::string& name) {
  if (!activationTaken_) {
    activated_ = takeActivatedSockets();
    activationTaken_ = true;
  }
  const auto path = socketPath(name);
  auto matches = [&](const ActivatedSocket& socket) {
    return socket.name == name || boundPath(socket.socket.get()) == path;
  };
  auto found = std::find_if(activated_.begin(), activated_.end(), matches);
  if (found == activated_.end() && activated_.size() == 1 && activated_.front().name.empty()) {
    found = activated_.begin();
  }
  if (found == activated_.end()) return std::nullopt;
  auto socket = std::move(*found);
  activated_.erase(found);
  return socket;
}

std::expected<std::shared_ptr<XPCListener>, PlatformError> LinuxTransport::listenerForMachService(
    const std::string& name) {
  std::lock_guard lock(mutex_);
  UniqueFd socket;
  if (auto activated = takeActivated(name)) {
    socket = std::move(activated->socket);
  } else {
    auto bound = listenAt(socketPath(name));
    if (!bound) return std::unexpected(bound.error());
    socket = std::move(*bound);
  }
  auto address = boundPath(socket.get());
  auto listener = std::make_shared<LinuxListener>(std::move(socket), std::move(address), services_,
                                                  sizes_, requests_, loop_.wake());
  listeners_.push_back(listener);
  loop_.add(listener->acceptor());
  return listener;
}

std::shared_ptr<const XPCInterface> LinuxTransport::interfaceWithProtocol(
    const RemoteProtocol& protocol) {
  return std::make_shared<LinuxInterface>(protocol);
}

void LinuxTransport::runMainLoop() { loop_.run(); }

void LinuxTransport::finishRequests(std::chrono::milliseconds bound) {
  requests_.close();
  // The loop stops watching the listeners at once, not at the next connection.
  loop_.wake()->wake();
  requests_.drain(bound);
}

void LinuxTransport::stop() { loop_.stop(); }

}  // namespace tarnel::linux_platform
