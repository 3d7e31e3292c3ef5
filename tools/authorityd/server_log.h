// The server's log: one line per event on standard error, which the service manager keeps.
#pragma once

#include <string_view>

namespace tarnel::authorityd {

// Writes "authorityd: " and `line`, its control characters escaped, in one write, so that lines
// from several connections never mix and no text in a line can pose as another.
void logLine(std::string_view line);

}  // namespace tarnel::authorityd
