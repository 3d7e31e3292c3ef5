// How anything tells a server loop to look again (a connection ended, a listener was resumed, the
// end began): an eventfd that the loop watches.
#pragma once

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

class LoopWake {
 public:
  // Without an eventfd the loop could not be woken: the process aborts.
  LoopWake();
  void wake() const;
  // Takes the wakes signalled so far; for the loop.
  void clear() const;
  int descriptor() const { return event_.get(); }

 private:
  UniqueFd event_;
};

}  // namespace tarnel::linux_platform
