#include "platform/linux/serving/connection_shares.h"

#include "platform/linux/posix/unix_socket.h"

namespace tarnel::linux_platform {

std::optional<ConnectionShares::Slot> ConnectionShares::take(uid_t user) {
  const std::lock_guard lock(mutex_);
  auto& ofUser = held_[user];
  const bool root = user == 0;
  if (root ? ofUser >= total_ : ofUser >= perUser_ || heldByOthers_ >= total_) {
    if (ofUser == 0) held_.erase(user);
    return std::nullopt;
  }
  ++ofUser;
  if (!root) ++heldByOthers_;
  return Slot(this, user);
}

void ConnectionShares::giveBack(uid_t user) {
  const std::lock_guard lock(mutex_);
  if (--held_[user] == 0) held_.erase(user);
  if (user != 0) --heldByOthers_;
}

std::optional<uid_t> ConnectionShares::userAt(int socketFd) {
  const auto peer = peerCredentials(socketFd);
  if (!peer) return std::nullopt;
  return peer->uid;
}

}  // namespace tarnel::linux_platform
