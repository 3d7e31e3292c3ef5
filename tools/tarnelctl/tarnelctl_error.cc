#include "tools/tarnelctl/tarnelctl_error.h"

#include "platform/linux/posix/message_text.h"

namespace tarnel::tarnelctl {

namespace {

using Kind = TarnelctlError::Kind;
using linux_platform::MessageText;

// {s} the subject.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::unknownOption, "unknown option {s}"},
    {Kind::optionAfterSubcommand, "{s} takes no option but --format and --help"},
    {Kind::missingValue, "option {s} needs a value"},
    {Kind::badFormat, "--format takes readable, diagnostic or json"},
    {Kind::badPresentError, "--present-error takes true or false"},
    {Kind::badAuthData, "--auth-data takes hexadecimal bytes"},
    {Kind::noSubcommand, "no subcommand"},
    {Kind::unknownSubcommand, "unknown subcommand {s}"},
    {Kind::sendNeedsRoot, "send passes a request unauthorized: only root may use it"},
    {Kind::installNeedsRoot,
     "install-helper places the helper where only root may write: run it as root"},
    {Kind::authDataNeedsRoot,
     "--auth-data shows an authorization to every user while tarnelctl runs: only root may use "
     "it"},
};
static_assert(linux_platform::everyKindHasOneText(kTexts, Kind::authDataNeedsRoot));

}  // namespace

std::string describe(const TarnelctlError& error) {
  return linux_platform::filledIn(linux_platform::textOf(kTexts, error.kind),
                                  {{'s', error.subject}});
}

}  // namespace tarnel::tarnelctl
