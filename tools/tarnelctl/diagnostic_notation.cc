#include "tools/tarnelctl/diagnostic_notation.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/linux/transport/message_format.h"

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
  out += '"';
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

void appendBytes(std::string& out, const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "h'";
  for (const auto byte : bytes) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
  }
  out += '\'';
}

void append(std::string& out, const Value& value);

struct Appender {
  std::string& out;
  void operator()(const Null&) const { out += "null"; }
  void operator()(bool boolean) const { out += boolean ? "true" : "false"; }
  void operator()(std::int64_t integer) const { out += std::to_string(integer); }
  void operator()(double real) const { appendReal(out, real); }
  void operator()(const std::string& text) const { appendText(out, text); }
  void operator()(const Bytes& bytes) const { appendBytes(out, bytes); }
  void operator()(const Array& array) const {
    out += '[';
    for (std::size_t i = 0; i < array.size(); ++i) {
      if (i > 0) out += ", ";
      append(out, array[i]);
    }
    out += ']';
  }
  void operator()(const Dictionary& dictionary) const {
    out += '{';
    bool first = true;
    for (const auto& entry : dictionary.entries()) {
      if (!first) out += ", ";
      first = false;
      append(out, entry.key);
      out += ": ";
      append(out, entry.value);
    }
    out += '}';
  }
};

void append(std::string& out, const Value& value) { std::visit(Appender{out}, value.storage()); }

}  // namespace

std::string diagnosticNotation(const Value& value) {
  std::string out;
  append(out, value);
  return out;
}

std::string diagnosticNotation(const std::optional<ListenerEndpoint>& endpoint) {
  if (!endpoint) return "null";
  std::string out = std::to_string(linux_platform::kEndpointTag) + "(";
  appendText(out, endpoint->socketAddress);
  return out + ")";
}

}  // namespace tarnel::tarnelctl
