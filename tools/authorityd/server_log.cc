#include "tools/authorityd/server_log.h"

#include <unistd.h>

#include "platform/linux/posix/escaped_log.h"

namespace tarnel::authorityd {

void logLine(std::string_view line) {
  // A client's right name is part of some lines: escaped, it cannot forge a line of its own.
  linux_platform::writeLogLine(STDERR_FILENO, "authorityd: ", line);
}

}  // namespace tarnel::authorityd
