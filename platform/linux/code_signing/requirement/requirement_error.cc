#include "platform/linux/code_signing/requirement/requirement_error.h"

#include <algorithm>
#include <cstdlib>

namespace tarnel::linux_platform {

namespace {

using Kind = RequirementError::Kind;

// The text of each kind: `before`, the subject, `after`, then where, when the kind has a place.
struct Row {
  Kind kind;
  const char* before;
  const char* after;
  bool atOffset;
};

constexpr Row kRows[] = {
    {Kind::tooLong, "requirement text too long", "", false},
    {Kind::unterminatedComment, "unterminated comment", "", true},
    {Kind::unexpectedCharacter, "unexpected character '", "'", true},
    {Kind::unterminatedString, "unterminated string", "", true},
    {Kind::unquotedValue, "a value that is not a name must be quoted", "", true},
    {Kind::numberOutOfRange, "number out of range", "", true},
    {Kind::emptyNamePart, "a name part may not be empty", "", true},
    {Kind::textAfterRequirement, "unexpected text after the requirement", "", true},
    {Kind::nestedTooDeeply, "requirement nested too deeply", "", true},
    {Kind::expectedWord, "expected '", "'", true},
    {Kind::expected, "expected ", "", true},
    {Kind::expectedRequirement, "expected a requirement", "", true},
    {Kind::unknownRequirement, "unknown requirement '", "'", true},
    {Kind::expectedCertificateSlot, "expected a certificate slot", "", true},
    {Kind::unknownCertificateKey, "unknown certificate key '", "'", true},
    {Kind::expectedValue, "expected a value", "", true},
};

}  // namespace

std::string describe(const RequirementError& error) {
  const auto row = std::ranges::find(kRows, error.kind, &Row::kind);
  // Every kind has its row: a kind without one is a programming error.
  if (row == std::end(kRows)) std::abort();
  std::string text = row->before + error.subject + row->after;
  if (row->atOffset) text += " at offset " + std::to_string(error.offset);
  return text;
}

}  // namespace tarnel::linux_platform
