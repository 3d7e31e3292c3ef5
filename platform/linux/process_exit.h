// Ending the process on Linux: the stand-in for exit().
#pragma once

#include "platform/process_exit.h"

namespace tarnel::linux_platform {

class LinuxProcessExit : public ProcessExit {
 public:
  // Flushes what the C streams still buffer (LinuxLog buffers nothing), then ends the process
  // with _exit: other threads may still be serving connections, and no static destructor may run
  // under their feet.
  [[noreturn]] void exit(int status) override;
};

}  // namespace tarnel::linux_platform
