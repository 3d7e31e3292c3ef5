// The one way a test waits for what follows a call on another thread or in another process,
// where no event says when it happens.
#pragma once

#include <chrono>
#include <thread>

namespace tarnel::support {

// How long a test waits for something that must happen before it gives up: a bound on waiting,
// so that a test fails instead of hanging, never a measure of speed.
inline constexpr std::chrono::seconds kPatience{120};

// Whether `condition` holds, asked again and again until kPatience has passed.
template <class Condition>
bool eventually(Condition condition) {
  const auto giveUp = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace tarnel::support
