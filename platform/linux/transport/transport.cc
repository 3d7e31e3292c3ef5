#include "platform/linux/transport/transport.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/transport/interface.h"

namespace tarnel::linux_platform {

namespace {

UniqueFd newEventFd() {
  UniqueFd event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  // Without it the loop could not be woken: nothing the process could go on without.
  if (!event) std::abort();
  return event;
}

void drain(int eventFd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto readBytes = ::read(eventFd, &count, sizeof count);
}

}  // namespace

LinuxTransport::LinuxTransport(Log& log, std::string socketDirectory)
    : socketDirectory_(std::move(socketDirectory)),
      services_{.log = log, .frames = frames_, .requests = requests_},
      loopWake_(std::make_shared<UniqueFd>(newEventFd())),
      stopEvent_(newEventFd()) {}

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
  auto listener =
      std::make_shared<LinuxListener>(std::move(socket), std::move(address), loopWake_, services_);
  listeners_.push_back(listener);
  return listener;
}

std::shared_ptr<const XPCInterface> LinuxTransport::interfaceWithProtocol(
    const RemoteProtocol& protocol) {
  return std::make_shared<LinuxInterface>(protocol);
}

void LinuxTransport::runMainLoop() {
  for (;;) {
    std::vector<std::shared_ptr<LinuxListener>> listeners;
    {
      std::lock_guard lock(mutex_);
      listeners = listeners_;
    }
    std::vector<pollfd> watched = {{.fd = stopEvent_.get(), .events = POLLIN},
                                   {.fd = loopWake_->get(), .events = POLLIN}};
    // Once requests may no longer start, connections are no longer taken either: they wait in
    // the socket's queue for the next start.
    const bool accepting = !requests_.closed();
    for (const auto& listener : listeners) {
      // A listener not accepting is not watched, or its waiting peers would wake us forever.
      watched.push_back(
          {.fd = accepting && listener->accepting() ? listener->listeningSocket() : -1,
           .events = POLLIN});
    }
    const auto now = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> nextDeadline;
    for (const auto& listener : listeners) {
      const auto deadline = listener->cutSlowValidations(now);
      if (deadline && (!nextDeadline || *deadline < *nextDeadline)) nextDeadline = deadline;
    }
    const int timeout =
        nextDeadline
            ? static_cast<int>(
                  std::chrono::ceil<std::chrono::milliseconds>(*nextDeadline - now).count())
            : -1;
    if (::poll(watched.data(), watched.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      std::abort();  // only a programming error makes poll fail
    }
    if (watched[0].revents != 0) {
      drain(stopEvent_.get());
      return;
    }
    if (watched[1].revents != 0) {
      drain(loopWake_->get());
      for (const auto& listener : listeners) listener->reapFinished();
    }
    for (std::size_t i = 0; i < listeners.size(); ++i) {
      if (watched[i + 2].revents != 0 && !requests_.closed()) listeners[i]->acceptPending();
    }
  }
}

void LinuxTransport::finishRequests(std::chrono::milliseconds bound) {
  requests_.close();
  // The loop stops watching the listeners at once, not at the next connection.
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(loopWake_->get(), &one, sizeof one);
  requests_.drain(bound);
}

void LinuxTransport::stop() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(stopEvent_.get(), &one, sizeof one);
}

}  // namespace tarnel::linux_platform
