// The system log on Linux: the stand-in for NSLog. One syslog message per event, mirrored on
// standard error when that is a terminal, so that someone running the helper by hand sees it.
#pragma once

#include <unistd.h>

#include "model/helper_label.h"
#include "platform/log.h"

namespace tarnel::linux_platform {

class LinuxLog : public Log {
 public:
  // Logs under `identity`, which must last as long as the process logs (a literal does), and
  // mirrors each line on `mirror` when that descriptor is a terminal.
  explicit LinuxLog(const char* identity = helperLabel, int mirror = STDERR_FILENO);

  // Each line reaches the log before write() returns: nothing is left to flush at exit.
  void write(std::string_view line) override;

 private:
  int mirror_;
  bool mirroring_;
};

}  // namespace tarnel::linux_platform
