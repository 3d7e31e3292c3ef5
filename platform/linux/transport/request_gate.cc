#include "platform/linux/transport/request_gate.h"

namespace tarnel::linux_platform {

namespace {

// Whether the calling thread runs a request now.
thread_local bool runningHere = false;

}  // namespace

bool RequestGate::enter() {
  const std::lock_guard lock(mutex_);
  if (closed_) return false;
  ++running_;
  runningHere = true;
  return true;
}

void RequestGate::leave() {
  if (!runningHere) return;
  runningHere = false;
  {
    const std::lock_guard lock(mutex_);
    --running_;
  }
  finished_.notify_all();
}

bool RequestGate::closed() const {
  const std::lock_guard lock(mutex_);
  return closed_;
}

void RequestGate::close() {
  // Counted on, two requests that both end the process would wait for each other.
  leave();
  const std::lock_guard lock(mutex_);
  closed_ = true;
}

void RequestGate::drain(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  finished_.wait_for(lock, bound, [this] { return running_ == 0; });
}

}  // namespace tarnel::linux_platform
