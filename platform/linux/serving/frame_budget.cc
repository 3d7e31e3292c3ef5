#include "platform/linux/serving/frame_budget.h"

#include <algorithm>
#include <utility>

namespace tarnel::linux_platform {

FrameBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

FrameBudget::Reservation& FrameBudget::Reservation::operator=(Reservation&& other) noexcept {
  if (this != &other) {
    giveBack();
    budget_ = std::exchange(other.budget_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

FrameBudget::Reservation::~Reservation() { giveBack(); }

void FrameBudget::Reservation::giveBack() {
  if (budget_ != nullptr) std::exchange(budget_, nullptr)->giveBack(std::exchange(bytes_, 0));
}

FrameBudget::Reservation FrameBudget::reserveFrame(std::uint32_t length, std::stop_token stop) {
  if (length <= kSmallFrame) return {};
  // No frame may need more than there is: it would wait for ever.
  const std::size_t bytes = std::min<std::size_t>(2 * std::size_t{length}, capacity_);
  std::unique_lock lock(mutex_);
  const auto ticket = nextTicket_++;
  const bool granted =
      changed_.wait(lock, stop, [&] { return ticket == serving_ && used_ + bytes <= capacity_; });
  if (granted) used_ += bytes;
  // A frame that gives up waiting passes its turn on: now if it has come, else when it comes.
  if (granted || ticket == serving_) {
    passTurn();
  } else {
    abandoned_.insert(ticket);
  }
  changed_.notify_all();
  if (!granted) return {};
  return Reservation(this, bytes);
}

void FrameBudget::passTurn() {
  ++serving_;
  while (abandoned_.erase(serving_) > 0) ++serving_;
}

std::size_t FrameBudget::inUse() const {
  const std::lock_guard lock(mutex_);
  return used_;
}

void FrameBudget::giveBack(std::size_t bytes) {
  {
    const std::lock_guard lock(mutex_);
    used_ -= bytes;
  }
  changed_.notify_all();
}

}  // namespace tarnel::linux_platform
