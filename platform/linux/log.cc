#include "platform/linux/log.h"

#include <syslog.h>

#include "platform/linux/posix/escaped_log.h"

namespace tarnel::linux_platform {

LinuxLog::LinuxLog(const char* identity, int mirror)
    : mirror_(mirror), mirroring_(::isatty(mirror) == 1) {
  ::openlog(identity, LOG_PID | LOG_NDELAY, LOG_DAEMON);
}

void LinuxLog::write(std::string_view line) {
  // The platform's log has no levels; every event is a notice. A client's path may hold a newline
  // or an escape sequence: both logs escape it.
  writeSystemLogLine(LOG_NOTICE, line);
  // The mirror is a courtesy to a person watching: a failure to write it is given up.
  if (mirroring_) writeLogLine(mirror_, "", line);
}

}  // namespace tarnel::linux_platform
