// The walk through a value that tarnelctl's two notations, CBOR diagnostic notation and JSON,
// share: null, Booleans and integers written alike, arrays and dictionaries walked item by item.
// A notation gives what differs: its separators, and how it writes a real number, a text, byte
// data and a dictionary's key.
#pragma once

#include <string>
#include <string_view>

#include "model/value.h"

namespace tarnel::tarnelctl {

struct Notation {
  std::string_view itemSeparator;  // between two items of an array or entries of a dictionary
  std::string_view keySeparator;   // between a dictionary's key and its value
  void (*appendReal)(std::string& out, double real);
  void (*appendText)(std::string& out, const std::string& text);
  void (*appendBytes)(std::string& out, const Bytes& bytes);
  void (*appendKey)(std::string& out, const Value& key);
};

void appendInNotation(std::string& out, const Value& value, const Notation& notation);

// Text in double quotes with JSON's escapes: a quote and a backslash by a backslash, newline, tab
// and carriage return by their letters, any other control character as \u00XX; and DEL as \u007f
// too where `escapeDelete`. Diagnostic notation writes text so as well.
void appendQuotedText(std::string& out, std::string_view text, bool escapeDelete);

// Byte data as lowercase hexadecimal digits, two a byte.
void appendHex(std::string& out, const Bytes& bytes);

}  // namespace tarnel::tarnelctl
