#include "tools/tarnelctl/diagnostic_notation.h"

#include <charconv>
#include <cmath>

#include "platform/linux/transport/message_format.h"
#include "tools/tarnelctl/notation_walk.h"

namespace tarnel::tarnelctl {

namespace {

void appendReal(std::string& out, double real) {
  if (std::isnan(real)) {
    out += "NaN";
    return;
  }
  if (std::isinf(real)) {
    out += real < 0 ? "-Infinity" : "Infinity";
    return;
  }
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, real);
  std::string text(buffer, error == std::errc() ? end : buffer);
  // A floating-point number always shows a decimal point or an exponent, so 2.0 is never 2.
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  out += text;
}

void appendText(std::string& out, const std::string& text) {
  appendQuotedText(out, text, /*escapeDelete=*/true);
}

void appendBytes(std::string& out, const Bytes& bytes) {
  out += "h'";
  appendHex(out, bytes);
  out += '\'';
}

// A key is written as any value is.
void appendKey(std::string& out, const Value& key);

constexpr Notation kDiagnostic{", ", ": ", appendReal, appendText, appendBytes, appendKey};

void appendKey(std::string& out, const Value& key) { appendInNotation(out, key, kDiagnostic); }

}  // namespace

std::string diagnosticNotation(const Value& value) {
  std::string out;
  appendInNotation(out, value, kDiagnostic);
  return out;
}

std::string diagnosticNotation(const std::optional<ListenerEndpoint>& endpoint) {
  if (!endpoint) return "null";
  std::string out = std::to_string(linux_platform::kEndpointTag) + "(";
  appendText(out, endpoint->socketAddress);
  return out + ")";
}

}  // namespace tarnel::tarnelctl
