// Pauses on Linux: the stand-in for NSThread's sleepForTimeInterval:.
#pragma once

#include "platform/clock.h"

namespace tarnel::linux_platform {

class LinuxClock : public Clock {
 public:
  // Sleeps the whole interval, resuming after a signal; an interval that is not positive returns
  // at once.
  void sleep(Seconds interval) override;
};

}  // namespace tarnel::linux_platform
