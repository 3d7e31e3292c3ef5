// Ending the process on Linux: the stand-in for exit().
#pragma once

#include <chrono>

#include "model/helper_end_bounds.h"
#include "platform/linux/transport/transport.h"
#include "platform/process_exit.h"

namespace tarnel::linux_platform {

class LinuxProcessExit : public ProcessExit {
 public:
  // The process's connections are `transport`'s.
  explicit LinuxProcessExit(LinuxTransport& transport) : transport_(transport) {}

  // Takes no connection and starts no request from now on, lets the requests running on other
  // connections finish and answer (at most kRequestsFinishTimeLimit), flushes what the C streams
  // still buffer (LinuxLog buffers nothing), then ends the process with _exit: no static
  // destructor may run under the feet of threads that still serve connections.
  [[noreturn]] void exit(int status) override;

 private:
  LinuxTransport& transport_;
};

}  // namespace tarnel::linux_platform
