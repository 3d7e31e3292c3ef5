#include "platform/linux/process_exit.h"

#include <unistd.h>

#include <cstdio>

namespace tarnel::linux_platform {

void LinuxProcessExit::exit(int status) {
  transport_.finishRequests(kRequestsFinishTimeLimit);
  // A stream that cannot be flushed cannot be reported either: the process ends all the same.
  static_cast<void>(std::fflush(nullptr));
  ::_exit(status);
}

}  // namespace tarnel::linux_platform
