// The one way a line reaches a log, for the helper, authorityd and launchctl alike. A logged line
// often carries text a peer chose (a client's path, a right's name, a job's label): written as is,
// a newline in it would end the line early and let the rest pose as a line of its own, and an
// escape sequence would drive the terminal of whoever reads the log. So every control character
// is written as \xNN: C0 (0x00 to 0x1f), DEL (0x7f), and C1 (U+0080 to U+009F, as the two bytes
// of its UTF-8 form, which some terminals obey).
#pragma once

#include <string>
#include <string_view>

namespace tarnel::linux_platform {

// `text` with each control character replaced by \xNN (each byte of a C1 character so); every
// other byte, valid UTF-8 or not, unchanged.
std::string escapeControlCharacters(std::string_view text);

// `prefix` (the program's own, no control character in it) and `line` escaped, ended by a newline,
// written to `descriptor` in one write, so that lines from several threads never mix. A log that
// cannot be written is given up: it must not stop the caller's work.
void writeLogLine(int descriptor, std::string_view prefix, std::string_view line);

// `line` escaped, as one message to the system log at `priority`, under the identity and facility
// that the process gave openlog.
void writeSystemLogLine(int priority, std::string_view line);

}  // namespace tarnel::linux_platform
