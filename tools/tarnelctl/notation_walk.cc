#include "tools/tarnelctl/notation_walk.h"

#include <cstdio>
#include <variant>

namespace tarnel::tarnelctl {

namespace {

struct Walker {
  std::string& out;
  const Notation& notation;

  void operator()(const Null&) const { out += "null"; }
  void operator()(bool boolean) const { out += boolean ? "true" : "false"; }
  void operator()(std::int64_t integer) const { out += std::to_string(integer); }
  void operator()(double real) const { notation.appendReal(out, real); }
  void operator()(const std::string& text) const { notation.appendText(out, text); }
  void operator()(const Bytes& bytes) const { notation.appendBytes(out, bytes); }
  void operator()(const Array& array) const {
    out += '[';
    for (std::size_t i = 0; i < array.size(); ++i) {
      if (i > 0) out += notation.itemSeparator;
      appendInNotation(out, array[i], notation);
    }
    out += ']';
  }
  void operator()(const Dictionary& dictionary) const {
    out += '{';
    bool first = true;
    for (const auto& entry : dictionary.entries()) {
      if (!first) out += notation.itemSeparator;
      first = false;
      notation.appendKey(out, entry.key);
      out += notation.keySeparator;
      appendInNotation(out, entry.value, notation);
    }
    out += '}';
  }
};

}  // namespace

void appendInNotation(std::string& out, const Value& value, const Notation& notation) {
  std::visit(Walker{out, notation}, value.storage());
}

void appendQuotedText(std::string& out, std::string_view text, bool escapeDelete) {
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
    } else if (c < 0x20 || (c == 0x7f && escapeDelete)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);  // the transport holds text to valid UTF-8
    }
  }
  out += '"';
}

void appendHex(std::string& out, const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const auto byte : bytes) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
  }
}

}  // namespace tarnel::tarnelctl
