#include "operations/status_pipeline.h"

#include <algorithm>

namespace tarnel {

namespace {

constexpr std::string_view kListThroughGrep = " list | /usr/bin/grep ";
constexpr std::string_view kPatternOption = "-e ";
constexpr std::string_view kSecondField = " | /usr/bin/awk '{print $2}'";

bool isOrdinaryCharacter(char character) {
  return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
         (character >= '0' && character <= '9') || character == '.' || character == '_' ||
         character == '-';
}

bool isOrdinaryLabel(std::string_view label) {
  return !label.empty() && !label.starts_with('-') &&
         std::ranges::all_of(label, isOrdinaryCharacter);
}

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
  if (isOrdinaryLabel(label)) {
    text += label;
  } else {
    text += kPatternOption;
    text += shellQuoted(label);
  }
  text += kSecondField;
  return text;
}

}  // namespace tarnel
