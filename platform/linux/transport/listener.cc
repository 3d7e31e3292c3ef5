#include "platform/linux/transport/listener.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

LinuxListener::LinuxListener(UniqueFd socket, std::optional<std::string> socketAddress,
                             std::shared_ptr<UniqueFd> loopWake, ConnectionServices services)
    : socket_(std::move(socket)),
      socketAddress_(std::move(socketAddress)),
      loopWake_(std::move(loopWake)),
      services_(services) {
  // Accepted sockets inherit it, so that even a call sent before the accept carries its sender.
  receiveSenderCredentials(socket_.get(), SenderPidfds::notAttached);
}

LinuxListener::~LinuxListener() {
  std::map<std::uint64_t, Served> served;
  {
    std::lock_guard lock(mutex_);
    served.swap(served_);
  }
  for (auto& [id, entry] : served) {
    if (auto connection = entry.connection.lock()) connection->invalidate();
  }
  for (auto& [id, entry] : served) {
    // The last reference to a listener may go on one of its own connections' threads.
    if (entry.thread.get_id() == std::this_thread::get_id()) {
      entry.thread.detach();
    } else {
      entry.thread.join();
    }
  }
}

void LinuxListener::setDelegate(XPCListenerDelegate* delegate) { delegate_ = delegate; }

void LinuxListener::resume() {
  resumed_ = true;
  wakeLoop();
}

std::optional<ListenerEndpoint> LinuxListener::endpoint() const {
  if (!socketAddress_) return std::nullopt;
  return ListenerEndpoint{*socketAddress_};
}

void LinuxListener::acceptPending() {
  for (;;) {
    UniqueFd accepted(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!accepted) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory: the waiting peers wait until a connection ends.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        starved_ = true;
      }
      return;  // EAGAIN: nothing left waiting
    }
    const auto user = ConnectionShares::userAt(accepted.get());
    auto slot = user ? shares_.take(*user) : std::nullopt;
    if (!slot) continue;  // closed at once: refused
    std::lock_guard lock(mutex_);
    auto connection = std::make_shared<LinuxConnection>(std::move(accepted), services_);
    const auto id = nextId_++;
    try {
      std::thread thread(&LinuxListener::offerAndServe, weak_from_this(), connection, id);
      served_.emplace(id, Served{.connection = connection,
                                 .thread = std::move(thread),
                                 .slot = std::move(*slot),
                                 .validationDeadline =
                                     std::chrono::steady_clock::now() + kValidationTimeLimit});
    } catch (const std::system_error&) {
      // No thread to serve it: the connection closes, refused, when `connection` goes.
    }
  }
}

std::optional<std::chrono::steady_clock::time_point> LinuxListener::cutSlowValidations(
    std::chrono::steady_clock::time_point now) {
  std::optional<std::chrono::steady_clock::time_point> next;
  std::lock_guard lock(mutex_);
  for (auto& [id, entry] : served_) {
    if (!entry.validationDeadline) continue;
    if (*entry.validationDeadline <= now) {
      // Its thread may be stuck reading the peer's code; the connection is closed to its peer
      // now, and its slot is given back when the thread ends.
      if (auto connection = entry.connection.lock()) connection->invalidate();
      entry.validationDeadline.reset();
      continue;
    }
    if (!next || *entry.validationDeadline < *next) next = entry.validationDeadline;
  }
  return next;
}

void LinuxListener::validated(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  if (auto found = served_.find(id); found != served_.end())
    found->second.validationDeadline.reset();
}

void LinuxListener::reapFinished() {
  std::vector<std::thread> ended;
  {
    std::lock_guard lock(mutex_);
    for (const auto id : finished_) {
      if (auto found = served_.find(id); found != served_.end()) {
        ended.push_back(std::move(found->second.thread));
        served_.erase(found);
      }
    }
    finished_.clear();
  }
  for (auto& thread : ended) thread.join();
}

std::size_t LinuxListener::connectionsServed() const {
  std::lock_guard lock(mutex_);
  return served_.size();
}

void LinuxListener::offerAndServe(std::weak_ptr<LinuxListener> weakListener,
                                  std::shared_ptr<LinuxConnection> connection, std::uint64_t id) {
  bool taken = false;
  if (auto listener = weakListener.lock()) {
    if (auto* delegate = listener->delegate_.load()) {
      taken = delegate->shouldAcceptNewConnection(listener, *connection);
    }
    listener->validated(id);
  }
  if (taken) connection->serve();
  // A refused connection closes here, unread: its peer sees the connection reset.
  connection.reset();
  if (auto listener = weakListener.lock()) listener->finished(id);
}

void LinuxListener::finished(std::uint64_t id) {
  {
    std::lock_guard lock(mutex_);
    finished_.push_back(id);
  }
  starved_ = false;
  wakeLoop();
}

void LinuxListener::wakeLoop() const {
  const std::uint64_t one = 1;
  // An eventfd only refuses a write when its counter is full, and then the loop is awake anyway.
  [[maybe_unused]] const auto written = ::write(loopWake_->get(), &one, sizeof one);
}

}  // namespace tarnel::linux_platform
