#include "platform/linux/log.h"

#include <syslog.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace tarnel::linux_platform {

namespace {

// A client's path may hold a newline or an escape sequence; written as is, it would start a
// second, forged line or drive the reader's terminal.
std::string withControlsEscaped(std::string_view line) {
  std::string escaped;
  escaped.reserve(line.size());
  for (const char character : line) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte < 0x20 || byte == 0x7f) {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      escaped += code;
    } else {
      escaped += character;
    }
  }
  return escaped;
}

// The mirror is a courtesy to a person watching: a failure to write it is not worth more than
// giving up on it.
void writeWhole(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto count = ::write(descriptor, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

}  // namespace

LinuxLog::LinuxLog(const char* identity, int mirror)
    : mirror_(mirror), mirroring_(::isatty(mirror) == 1) {
  ::openlog(identity, LOG_PID | LOG_NDELAY, LOG_DAEMON);
}

void LinuxLog::write(std::string_view line) {
  const auto text = withControlsEscaped(line);
  // The platform's log has no levels; every event is a notice.
  ::syslog(LOG_NOTICE, "%s", text.c_str());
  if (mirroring_) writeWhole(mirror_, text + "\n");
}

}  // namespace tarnel::linux_platform
