#include "operations/status_pipeline.h"

namespace tarnel {

namespace {

constexpr std::string_view kListThroughGrep = " list | /usr/bin/grep -E -e ";
constexpr std::string_view kSecondField = " | /usr/bin/awk '{print $2}'";

// launchctl lists "PID<TAB>Status<TAB>Label", the PID "-" when the job is not running, and
// refuses a label that holds a tab or any other control character. Anchored at both ends, with
// numbers in the first two fields, the pattern matches only a line whose label field is the
// label, whole: never a longer label that begins with it, nor the heading line. A fixed-string
// grep cannot be anchored at the line's end, so the label is escaped instead.
constexpr std::string_view kLineBeforeLabel = "^(-|[0-9]+)\t-?[0-9]+\t";
constexpr std::string_view kSpecialCharacters = ".[\\()*+?{|^$";
// Beginning and end of a line at once: true of no line with something between them. A newline
// must not stand as itself, for grep would take the text after it for a second pattern.
constexpr std::string_view kMatchesNowhere = "$^";

bool isControlCharacter(char character) {
  const auto byte = static_cast<unsigned char>(character);
  return byte < 0x20 || byte == 0x7f;
}

std::string linePattern(std::string_view label) {
  std::string pattern(kLineBeforeLabel);
  for (const char character : label) {
    if (isControlCharacter(character)) {
      pattern += kMatchesNowhere;
      continue;
    }
    if (kSpecialCharacters.find(character) != std::string_view::npos) pattern += '\\';
    pattern += character;
  }
  pattern += '$';
  return pattern;
}

// The label is the client's and the text runs as root through sh -c: inside single quotes
// nothing is special to the shell but the quote itself.
std::string shellQuoted(std::string_view text) {
  std::string quoted = "'";
  for (const char character : text) {
    if (character == '\'') {
      quoted += "'\\''";
    } else {
      quoted += character;
    }
  }
  quoted += '\'';
  return quoted;
}

}  // namespace

std::string statusPipelineText(std::string_view launchctl, std::string_view label) {
  std::string text(launchctl);
  text += kListThroughGrep;
  text += shellQuoted(linePattern(label));
  text += kSecondField;
  return text;
}

}  // namespace tarnel
