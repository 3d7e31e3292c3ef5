#include "platform/linux/clock.h"

#include <thread>

namespace tarnel::linux_platform {

void LinuxClock::sleep(Seconds interval) {
  if (!(interval > Seconds::zero())) return;
  std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::nanoseconds>(interval));
}

}  // namespace tarnel::linux_platform
