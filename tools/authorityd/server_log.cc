#include "tools/authorityd/server_log.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace tarnel::authorityd {

void logLine(std::string_view line) {
  std::string text = "authorityd: ";
  text.append(line);
  text.push_back('\n');
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    // A log that cannot be written must not stop the server from answering.
    if (written <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace tarnel::authorityd
