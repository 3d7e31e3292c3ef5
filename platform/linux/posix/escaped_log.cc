#include "platform/linux/posix/escaped_log.h"

#include <syslog.h>

#include "platform/linux/posix/full_io.h"

namespace tarnel::linux_platform {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void appendEscaped(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xf];
}

}  // namespace

std::string escapeControlCharacters(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xc2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9f;
    if (c1) {
      appendEscaped(escaped, byte);
      appendEscaped(escaped, static_cast<unsigned char>(text[++i]));
    } else if (byte < 0x20 || byte == 0x7f) {
      appendEscaped(escaped, byte);
    } else {
      escaped += text[i];
    }
  }
  return escaped;
}

void writeLogLine(int descriptor, std::string_view prefix, std::string_view line) {
  std::string text(prefix);
  text += escapeControlCharacters(line);
  text += '\n';
  // A log that cannot be written is given up, as the contract says.
  (void)writeAll(descriptor, text);
}

void writeSystemLogLine(int priority, std::string_view line) {
  ::syslog(priority, "%s", escapeControlCharacters(line).c_str());
}

}  // namespace tarnel::linux_platform
