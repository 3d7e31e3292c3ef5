#include "tools/tarnelctl/json_notation.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/tarnelctl/diagnostic_notation.h"

namespace tarnel::tarnelctl {

namespace {

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
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);  // the transport holds text to valid UTF-8
    }
  }
  out += '"';
}

void append(std::string& out, const Value& value);

struct Appender {
  std::string& out;
  void operator()(const Null&) const { out += "null"; }
  void operator()(bool boolean) const { out += boolean ? "true" : "false"; }
  void operator()(std::int64_t integer) const { out += std::to_string(integer); }
  void operator()(double real) const {
    if (!std::isfinite(real)) {
      out += "null";
      return;
    }
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, real);
    out.append(buffer, error == std::errc() ? end : buffer);
  }
  void operator()(const std::string& text) const { appendText(out, text); }
  void operator()(const Bytes& bytes) const {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const auto byte : bytes) {
      hex += kHex[byte >> 4];
      hex += kHex[byte & 0xf];
    }
    appendText(out, hex);
  }
  void operator()(const Array& array) const {
    out += '[';
    for (std::size_t i = 0; i < array.size(); ++i) {
      if (i > 0) out += ',';
      append(out, array[i]);
    }
    out += ']';
  }
  void operator()(const Dictionary& dictionary) const {
    out += '{';
    bool first = true;
    for (const auto& entry : dictionary.entries()) {
      if (!first) out += ',';
      first = false;
      const auto* text = entry.key.get<std::string>();
      appendText(out, text ? *text : diagnosticNotation(entry.key));
      out += ':';
      append(out, entry.value);
    }
    out += '}';
  }
};

void append(std::string& out, const Value& value) { std::visit(Appender{out}, value.storage()); }

}  // namespace

std::string jsonNotation(const Value& value) {
  std::string out;
  append(out, value);
  return out;
}

}  // namespace tarnel::tarnelctl
