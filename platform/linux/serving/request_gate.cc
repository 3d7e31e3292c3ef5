#include "platform/linux/serving/request_gate.h"

#include <iterator>

namespace tarnel::linux_platform {

std::optional<RequestGate::Hold> RequestGate::admit() {
  const std::lock_guard lock(mutex_);
  if (closed_) return std::nullopt;
  held_.emplace(nextId_, std::nullopt);
  return Hold(this, nextId_++);
}

std::optional<RequestGate::Hold> RequestGate::enter(std::optional<Hold>& admission) {
  std::optional<Hold> request;
  {
    const std::lock_guard lock(mutex_);
    if (over_) return std::nullopt;
    held_.emplace(nextId_, std::this_thread::get_id());
    request.emplace(Hold(this, nextId_++));
  }
  admission.reset();
  return request;
}

bool RequestGate::closed() const {
  const std::lock_guard lock(mutex_);
  return closed_;
}

void RequestGate::close() {
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    const auto here = std::this_thread::get_id();
    for (auto it = held_.begin(); it != held_.end();) {
      it = it->second == here ? held_.erase(it) : std::next(it);
    }
  }
  released_.notify_all();
}

void RequestGate::drain(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  released_.wait_for(lock, bound, [this] { return held_.empty(); });
  over_ = true;
}

void RequestGate::release(std::uint64_t id) {
  {
    const std::lock_guard lock(mutex_);
    held_.erase(id);
  }
  released_.notify_all();
}

}  // namespace tarnel::linux_platform
