// The server's log: one line per event on standard error, which the service manager keeps.
#pragma once

#include <string_view>

namespace tarnel::authorityd {

// Writes "authorityd: " and `line` in one write, so that lines from several connections never mix.
void logLine(std::string_view line);

}  // namespace tarnel::authorityd
