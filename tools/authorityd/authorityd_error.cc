#include "tools/authorityd/authorityd_error.h"

#include <system_error>

#include "platform/linux/posix/message_text.h"

namespace tarnel::authorityd {

namespace {

using Kind = AuthoritydError::Kind;
using linux_platform::MessageText;

// {s} the subject, {e} the system's reason.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::unknownOption, "unknown option {s}"},
    {Kind::optionNeedsPath, "{s} needs a path"},
    {Kind::optionNeedsAbsolutePath, "{s} needs an absolute path"},
    {Kind::cannotListen, "{s}"},
    {Kind::cannotAskForSenders, "cannot ask for sender credentials: {e}"},
};
static_assert(linux_platform::everyKindHasOneText(kTexts, Kind::cannotAskForSenders));

}  // namespace

std::string describe(const AuthoritydError& error) {
  return linux_platform::filledIn(
      linux_platform::textOf(kTexts, error.kind),
      {{'s', error.subject}, {'e', std::generic_category().message(error.systemError)}});
}

}  // namespace tarnel::authorityd
