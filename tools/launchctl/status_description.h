// What `launchctl error` says about a job's last exit status, given as the job-status pipeline
// prints it ("78\n").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnel::launchctl {

// One line, without its newline, for the status code in `text`, which may be surrounded by blanks
// and newlines: "0: Success"; for an exit status, "78: Configuration error" (the conventional
// meanings of 64 to 78, the system's error texts otherwise); for minus a signal number,
// "-15: Terminated by signal 15 (SIGTERM: Terminated)". Nothing when `text` is not one integer.
std::optional<std::string> describeStatusCode(std::string_view text);

}  // namespace tarnel::launchctl
