// The connections a server serves at once, shared out among the users at the other end, so that
// no user can take them all: each user other than root has a share, all of them together a limit,
// and root's own are counted apart, so that whatever other users hold, root's clients get in.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace tarnel::linux_platform {

class ConnectionShares {
 public:
  // A connection's place in the shares, given back when the object goes; the shares must
  // outlive it.
  class Slot {
   public:
    Slot(Slot&& other) noexcept
        : shares_(std::exchange(other.shares_, nullptr)), user_(other.user_) {}
    Slot& operator=(Slot&& other) noexcept {
      if (this != &other) {
        giveBack();
        shares_ = std::exchange(other.shares_, nullptr);
        user_ = other.user_;
      }
      return *this;
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { giveBack(); }

   private:
    friend class ConnectionShares;
    Slot(ConnectionShares* shares, uid_t user) : shares_(shares), user_(user) {}
    void giveBack() {
      if (shares_ != nullptr) std::exchange(shares_, nullptr)->giveBack(user_);
    }
    ConnectionShares* shares_;
    uid_t user_;
  };

  // At most `total` connections of users other than root together, `perUser` of any one of
  // them, and `total` of root's.
  ConnectionShares(std::size_t total, std::size_t perUser) : total_(total), perUser_(perUser) {}
  ConnectionShares(const ConnectionShares&) = delete;
  ConnectionShares& operator=(const ConnectionShares&) = delete;

  // A slot for a connection of `user`; nothing when that user holds its share, or all are taken.
  std::optional<Slot> take(uid_t user);

  // The user at the other end of the connected Unix socket `socketFd`, as the kernel recorded it
  // when the peer connected; nothing when it cannot be had.
  static std::optional<uid_t> userAt(int socketFd);

 private:
  void giveBack(uid_t user);

  const std::size_t total_;
  const std::size_t perUser_;
  std::mutex mutex_;
  std::map<uid_t, std::size_t> held_;
  std::size_t heldByOthers_ = 0;
};

}  // namespace tarnel::linux_platform
