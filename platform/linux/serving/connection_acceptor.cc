#include "platform/linux/serving/connection_acceptor.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

#include "platform/linux/serving/time_limits.h"

namespace tarnel::linux_platform {

namespace {

UniqueFd openReserve() { return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); }

bool outOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

}  // namespace

ConnectionAcceptor::ConnectionAcceptor(UniqueFd listening, ShareSizes sizes, RequestGate& gate,
                                       Handler handler, std::shared_ptr<LoopWake> wake)
    : listening_(std::move(listening)),
      gate_(gate),
      handler_(std::move(handler)),
      wake_(std::move(wake)),
      reserve_(openReserve()),
      shares_(sizes.connections, sizes.perUser),
      stuck_(sizes.stuck, sizes.stuckPerUser) {}

ConnectionAcceptor::~ConnectionAcceptor() { shutDown(); }

void ConnectionAcceptor::shutDown() {
  std::map<std::uint64_t, Served> served;
  {
    std::lock_guard lock(mutex_);
    // Under the lock, so that no connection accepted meanwhile escapes the cut.
    started_ = false;
    served.swap(served_);
  }
  for (auto& [id, entry] : served) entry.connection->cut();
  for (auto& [id, entry] : served) {
    // The last reference to an acceptor may go on one of its own connections' threads.
    if (entry.thread.get_id() == std::this_thread::get_id()) {
      entry.thread.detach();
    } else if (entry.thread.joinable()) {
      entry.thread.join();
    }
  }
}

void ConnectionAcceptor::start() {
  started_ = true;
  wake_->wake();
}

bool ConnectionAcceptor::wantsToAccept() const { return started_ && !starved_ && !gate_.closed(); }

void ConnectionAcceptor::acceptPending() {
  for (;;) {
    // Taken before the accept: once the end has begun, the connections waiting stay queued.
    auto admission = gate_.admit();
    if (!admission) return;
    if (!reserve_) reserve_ = openReserve();
    UniqueFd accepted(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    int error = accepted ? 0 : errno;
    if (outOfDescriptors(error)) {
      auto reserved = acceptWithReserve(error);
      if (!reserved) {
        error = reserved.error();
      } else if (!*reserved) {
        continue;  // another's, closed: there was room for root alone
      } else {
        accepted = std::move(*reserved);
      }
    }
    if (!accepted) {
      if (error == EINTR || error == ECONNABORTED) continue;
      if (outOfDescriptors(error) || error == ENOBUFS || error == ENOMEM) starve();
      return;  // EAGAIN: nothing left waiting
    }
    const auto user = ConnectionShares::userAt(accepted.get());
    if (!user) continue;  // gone already
    serve(std::move(accepted), *user, std::move(*admission));
  }
}

std::expected<UniqueFd, int> ConnectionAcceptor::acceptWithReserve(int shortage) {
  if (!reserve_) return std::unexpected(shortage);
  reserve_.reset();
  UniqueFd accepted(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  const int error = accepted ? 0 : errno;
  // Anyone's but root's is closed unread. Root's is kept; the reserve is taken back as soon as
  // a descriptor is free again.
  if (accepted && ConnectionShares::userAt(accepted.get()) != uid_t{0}) accepted.reset();
  reserve_ = openReserve();
  if (error != 0) return std::unexpected(error);
  return accepted;
}

void ConnectionAcceptor::serve(UniqueFd socket, uid_t user, RequestGate::Hold admission) {
  std::lock_guard lock(mutex_);
  if (!started_) return;  // shut down
  auto share = shares_.take(user);
  if (!share) return;  // over its share, or all are taken: closed at once, refused
  auto connection =
      std::make_shared<AcceptedConnection>(std::move(socket), user, gate_, std::move(admission));
  const auto id = nextId_++;
  try {
    std::thread thread(&ConnectionAcceptor::serveOnThread, weak_from_this(), handler_, connection,
                       id);
    served_.emplace(id, Served{.connection = std::move(connection),
                               .thread = std::move(thread),
                               .share = std::move(share),
                               .stuck = std::nullopt,
                               .validationDeadline = Clock::now() + kValidationTimeLimit});
  } catch (const std::system_error&) {
    // No thread to serve it: it closes, refused, when `connection` goes.
  }
}

void ConnectionAcceptor::serveOnThread(std::weak_ptr<ConnectionAcceptor> acceptor, Handler handler,
                                       std::shared_ptr<AcceptedConnection> connection,
                                       std::uint64_t id) {
  handler(connection);
  connection->finished();
  connection.reset();
  if (auto self = acceptor.lock()) self->finished(id);
}

void ConnectionAcceptor::finished(std::uint64_t id) {
  {
    std::lock_guard lock(mutex_);
    finished_.push_back(id);
  }
  starved_ = false;
  wake_->wake();
}

void ConnectionAcceptor::starve() {
  starved_ = true;
  retryAt_ = Clock::now() + kStarvedRetry;
}

std::optional<ConnectionAcceptor::Clock::time_point> ConnectionAcceptor::tend(
    Clock::time_point now) {
  if (starved_ && retryAt_ && *retryAt_ <= now) starved_ = false;
  std::optional<Clock::time_point> next = starved_ ? retryAt_ : std::nullopt;
  std::vector<std::shared_ptr<AcceptedConnection>> toCut;
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
    for (auto& [id, entry] : served_) {
      if (!entry.validationDeadline) continue;
      if (entry.connection->isValidated()) {
        entry.validationDeadline.reset();
        continue;
      }
      if (*entry.validationDeadline <= now) {
        entry.validationDeadline.reset();
        toCut.push_back(entry.connection);
        // Its thread may be stuck in the kernel for good: its share goes back now if its user
        // may keep one more stuck thread, else it keeps holding its share until the thread ends.
        if (auto stuck = stuck_.take(entry.connection->user())) {
          entry.stuck = std::move(stuck);
          entry.share.reset();
        }
        continue;
      }
      if (!next || *entry.validationDeadline < *next) next = entry.validationDeadline;
    }
  }
  for (const auto& connection : toCut) connection->cut();
  for (auto& thread : ended) thread.join();
  return next;
}

}  // namespace tarnel::linux_platform
