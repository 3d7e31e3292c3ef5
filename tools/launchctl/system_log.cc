#include "tools/launchctl/system_log.h"

#include <syslog.h>

#include <string>

namespace tarnel::launchctl {

void logToSystem(std::string_view line) {
  ::openlog("launchctl", LOG_PID, LOG_DAEMON);
  const std::string text(line);
  ::syslog(LOG_ERR, "%s", text.c_str());
  ::closelog();
}

}  // namespace tarnel::launchctl
