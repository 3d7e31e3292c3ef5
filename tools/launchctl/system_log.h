// What launchd's side has to say when nobody waits for an answer, such as a job that could not be
// started on demand: one line in the system log (the journal, or syslog), as launchd logs.
#pragma once

#include <string_view>

namespace tarnel::launchctl {

// `line`, its control characters escaped, in the system log, facility daemon, priority error,
// tagged "launchctl" with the process id.
void logToSystem(std::string_view line);

}  // namespace tarnel::launchctl
