#include "tools/authorityd/authorityd_error.h"

#include <algorithm>
#include <string_view>
#include <system_error>

namespace tarnel::authorityd {

namespace {

using Kind = AuthoritydError::Kind;

// Each text as the subject (S) and the system's reason (R) fill it in.
struct Text {
  Kind kind;
  std::string_view before;  // then the subject
  std::string_view after;   // then, where it ends in ": ", the system's reason
};

constexpr Text kTexts[] = {
    {Kind::unknownOption, "unknown option ", ""},
    {Kind::optionNeedsPath, "", " needs a path"},
    {Kind::optionNeedsAbsolutePath, "", " needs an absolute path"},
    {Kind::cannotListen, "", ""},
    {Kind::cannotAskForSenders, "cannot ask for sender credentials", ": "},
};

}  // namespace

std::string describe(const AuthoritydError& error) {
  const auto text = std::ranges::find(kTexts, error.kind, &Text::kind);
  std::string line = std::string(text->before) + error.subject + std::string(text->after);
  if (text->after.ends_with(": ")) line += std::generic_category().message(error.systemError);
  return line;
}

}  // namespace tarnel::authorityd
