// Pauses: the stand-in for NSThread's sleepForTimeInterval:.
#pragma once

#include <chrono>

namespace tarnel {

using Seconds = std::chrono::duration<double>;

class Clock {
 public:
  virtual ~Clock() = default;
  // Blocks the calling thread for `interval`.
  virtual void sleep(Seconds interval) = 0;
};

}  // namespace tarnel
