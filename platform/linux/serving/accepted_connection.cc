#include "platform/linux/serving/accepted_connection.h"

#include <sys/socket.h>

#include <utility>

namespace tarnel::linux_platform {

void AcceptedConnection::validated() {
  const std::lock_guard lock(mutex_);
  validated_ = true;
}

bool AcceptedConnection::isValidated() const {
  const std::lock_guard lock(mutex_);
  return validated_;
}

void AcceptedConnection::onCut(std::function<void()> cut) {
  {
    const std::lock_guard lock(mutex_);
    if (!cut_) {
      onCut_ = std::move(cut);
      return;
    }
  }
  cut();
}

void AcceptedConnection::cut() {
  std::function<void()> also;
  std::optional<RequestGate::Hold> admission;
  {
    const std::lock_guard lock(mutex_);
    cut_ = true;
    also = std::exchange(onCut_, nullptr);
    admission = std::exchange(admission_, std::nullopt);
  }
  ::shutdown(socket_.get(), SHUT_RDWR);
  if (also) also();
}

std::optional<RequestGate::Hold> AcceptedConnection::startRequest() {
  std::optional<RequestGate::Hold> admission;
  {
    const std::lock_guard lock(mutex_);
    admission = std::exchange(admission_, std::nullopt);
  }
  return gate_.enter(admission);
}

void AcceptedConnection::finished() {
  std::optional<RequestGate::Hold> admission;
  const std::lock_guard lock(mutex_);
  admission = std::exchange(admission_, std::nullopt);
}

}  // namespace tarnel::linux_platform
