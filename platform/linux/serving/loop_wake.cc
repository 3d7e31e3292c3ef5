#include "platform/linux/serving/loop_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace tarnel::linux_platform {

LoopWake::LoopWake() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!event_) std::abort();
}

void LoopWake::wake() const {
  const std::uint64_t one = 1;
  // An eventfd only refuses a write when its counter is full, and then the loop is awake anyway.
  [[maybe_unused]] const auto written = ::write(event_.get(), &one, sizeof one);
}

void LoopWake::clear() const {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto readBytes = ::read(event_.get(), &count, sizeof count);
}

}  // namespace tarnel::linux_platform
