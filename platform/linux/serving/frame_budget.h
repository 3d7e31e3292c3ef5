// The memory that large frames may take, over every connection of a process together: a frame's
// bytes while it is read, and what is decoded from them while the request they carry is carried
// out. A frame that does not fit waits, in the order frames asked, until enough is given back; it
// is never refused for it. Small frames need no room here: each connection holds at most one, and
// the connections are counted.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <stop_token>

namespace tarnel::linux_platform {

class FrameBudget {
 public:
  // Frames up to this many bytes take no room.
  static constexpr std::size_t kSmallFrame = 64 * 1024;

  // Room held for one frame until it is given back, when the object goes.
  class Reservation {
   public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept;
    Reservation& operator=(Reservation&& other) noexcept;
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;
    ~Reservation();

   private:
    friend class FrameBudget;
    Reservation(FrameBudget* budget, std::size_t bytes) : budget_(budget), bytes_(bytes) {}
    void giveBack();

    FrameBudget* budget_ = nullptr;
    std::size_t bytes_ = 0;
  };

  explicit FrameBudget(std::size_t capacity) : capacity_(capacity) {}
  FrameBudget(const FrameBudget&) = delete;
  FrameBudget& operator=(const FrameBudget&) = delete;

  // Room for a frame of `length` bytes and the values decoded from it, twice its length; nothing
  // for a small frame. Waits for the room, behind every frame that asked before; an empty
  // reservation when `stop` is asked for meanwhile.
  Reservation reserveFrame(std::uint32_t length, std::stop_token stop);

  // The bytes held now.
  std::size_t inUse() const;

 private:
  void giveBack(std::size_t bytes);
  // The next frame that still waits may have its turn; the mutex must be held.
  void passTurn();

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::size_t used_ = 0;
  std::uint64_t nextTicket_ = 0;
  std::uint64_t serving_ = 0;
  std::set<std::uint64_t> abandoned_;  // tickets given up before their turn came
};

}  // namespace tarnel::linux_platform
