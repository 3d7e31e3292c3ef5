#include "platform/linux/serving/server_loop.h"

#include <poll.h>

#include <cerrno>
#include <cstdlib>

namespace tarnel::linux_platform {

ServerLoop::ServerLoop() : wake_(std::make_shared<LoopWake>()) {}

void ServerLoop::add(std::shared_ptr<ConnectionAcceptor> acceptor) {
  {
    std::lock_guard lock(mutex_);
    acceptors_.push_back(std::move(acceptor));
  }
  wake_->wake();
}

void ServerLoop::run() {
  using Clock = ConnectionAcceptor::Clock;
  for (;;) {
    std::vector<std::shared_ptr<ConnectionAcceptor>> acceptors;
    {
      std::lock_guard lock(mutex_);
      std::erase_if(acceptors_, [](const auto& each) { return each.expired(); });
      for (const auto& each : acceptors_) {
        if (auto acceptor = each.lock()) acceptors.push_back(std::move(acceptor));
      }
    }
    const auto now = Clock::now();
    std::optional<Clock::time_point> next;
    for (const auto& acceptor : acceptors) {
      const auto due = acceptor->tend(now);
      if (due && (!next || *due < *next)) next = due;
    }
    std::vector<pollfd> watched = {{.fd = stop_.descriptor(), .events = POLLIN, .revents = 0},
                                   {.fd = wake_->descriptor(), .events = POLLIN, .revents = 0}};
    for (const auto& acceptor : acceptors) {
      // A socket it cannot accept from now is not watched, or its waiting peers would wake the
      // loop for ever.
      watched.push_back({.fd = acceptor->wantsToAccept() ? acceptor->listeningSocket() : -1,
                         .events = POLLIN,
                         .revents = 0});
    }
    const int timeout =
        next ? static_cast<int>(std::max<std::int64_t>(
                   0, std::chrono::ceil<std::chrono::milliseconds>(*next - now).count()))
             : -1;
    if (::poll(watched.data(), watched.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      std::abort();  // only a programming error makes poll fail
    }
    if (watched[0].revents != 0) {
      stop_.clear();
      return;
    }
    if (watched[1].revents != 0) wake_->clear();
    for (std::size_t i = 0; i < acceptors.size(); ++i) {
      if (watched[i + 2].revents != 0) acceptors[i]->acceptPending();
    }
  }
}

void ServerLoop::stop() { stop_.wake(); }

}  // namespace tarnel::linux_platform
