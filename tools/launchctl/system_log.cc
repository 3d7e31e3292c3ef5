#include "tools/launchctl/system_log.h"

#include <syslog.h>

#include "platform/linux/posix/escaped_log.h"

namespace tarnel::launchctl {

void logToSystem(std::string_view line) {
  ::openlog("launchctl", LOG_PID, LOG_DAEMON);
  // A job's label or a reason from the system may hold anything: escaped, it stays one line.
  linux_platform::writeSystemLogLine(LOG_ERR, line);
  ::closelog();
}

}  // namespace tarnel::launchctl
