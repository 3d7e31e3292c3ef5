// Running programs on Linux with posix_spawn, never fork: the stand-in for NSTask and NSPipe.
// Every child is reaped: run() waits for its child, and each capturing child has a thread of its
// own that waits for its exit, so that no child lingers as a zombie whether or not anybody reads
// its output to the end.
#pragma once

#include "platform/processes.h"

namespace tarnel::linux_platform {

class LinuxProcesses : public Processes {
 public:
  std::optional<int> run(const std::string& program,
                         const std::vector<std::string>& arguments) override;
  std::unique_ptr<OutputPipe> runCapturing(const std::string& program,
                                           const std::vector<std::string>& arguments) override;
};

}  // namespace tarnel::linux_platform
