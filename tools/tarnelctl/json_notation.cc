#include "tools/tarnelctl/json_notation.h"

#include <charconv>
#include <cmath>

#include "tools/tarnelctl/diagnostic_notation.h"
#include "tools/tarnelctl/notation_walk.h"

namespace tarnel::tarnelctl {

namespace {

void appendReal(std::string& out, double real) {
  if (!std::isfinite(real)) {
    out += "null";
    return;
  }
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, real);
  out.append(buffer, error == std::errc() ? end : buffer);
}

void appendText(std::string& out, const std::string& text) {
  appendQuotedText(out, text, /*escapeDelete=*/false);
}

void appendBytes(std::string& out, const Bytes& bytes) {
  std::string hex;
  appendHex(hex, bytes);
  appendText(out, hex);
}

// JSON's keys are text: any other key is written as its diagnostic notation, in quotes.
void appendKey(std::string& out, const Value& key) {
  const auto* text = key.get<std::string>();
  appendText(out, text ? *text : diagnosticNotation(key));
}

constexpr Notation kJson{",", ":", appendReal, appendText, appendBytes, appendKey};

}  // namespace

std::string jsonNotation(const Value& value) {
  std::string out;
  appendInNotation(out, value, kJson);
  return out;
}

}  // namespace tarnel::tarnelctl
