#include "tools/helperinstall/helperinstall_error.h"

#include <cstring>

#include "platform/linux/posix/message_text.h"
#include "tools/helperinstall/messages.h"

namespace tarnel::helperinstall {

namespace {

using Kind = HelperinstallError::Kind;
using linux_platform::MessageText;

// {s} the subject, {d} the detail, {e} the system's reason for the error number, {n} the number.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::cannotMakeFileIn, "cannot make a file in {s}: {e}"},
    {Kind::cannotUse, "{s}: {e}"},
    {Kind::cannotRead, "read: {e}"},
    {Kind::cannotOpen, "{e}"},
    {Kind::largerThan, "larger than {n} bytes"},
    {Kind::cannotKeep, "cannot keep {s}: {e}"},
    {Kind::notAFolder, "{s} is not a folder"},
    {Kind::changeableByOthers, "{s} may be changed by users other than root"},
    {Kind::invalidSignature, "its signature is not valid: {s}"},
    {Kind::codeUnreadable, "{s}"},
    {Kind::noBundleIdentifier, "its information property list has no CFBundleIdentifier"},
    {Kind::bundleIdentifierNotAName, "its bundle identifier is not a name for a file: {s}"},
    {Kind::signedAsOther, "it is signed as {s}, not as its bundle identifier {d}"},
    {Kind::authorizedClientNotText, "its SMAuthorizedClients holds a value that is not text"},
    {Kind::noAuthorizedClients, "it names no authorized clients (SMAuthorizedClients)"},
    {Kind::helperUnreadable, "it cannot be read"},
    {Kind::noLaunchdPlist, "it carries no launchd property list (__launchd_plist)"},
    {Kind::notAnAuthorizedClient,
     "it does not satisfy the helper's authorized clients (SMAuthorizedClients)"},
    {Kind::launchdPlistNotDictionary, "its launchd property list is not a dictionary"},
    {Kind::launchdLabelNotIdentifier,
     "its launchd property list's Label is not its bundle identifier {s}"},
    {Kind::jobNotWritable, "its job definition cannot be written"},
    {Kind::noAuthorization, "cannot be asked for: no authorization (status {n})"},
    {Kind::rightRefused, "was refused (status {n})"},
    {Kind::launchctlDidNotLoad, "launchctl did not load {s}"},
};
static_assert(linux_platform::everyKindHasOneText(kTexts, Kind::launchctlDidNotLoad));

}  // namespace

std::string describe(const HelperinstallError& error) {
  return linux_platform::filledIn(linux_platform::textOf(kTexts, error.kind),
                                  {{'s', error.subject},
                                   {'d', error.detail},
                                   {'e', std::strerror(error.systemError)},
                                   {'n', std::to_string(error.number)}});
}

std::string describe(const PreviousOutcome& outcome) {
  switch (outcome.kind) {
    case PreviousOutcome::Kind::restoredAndLoaded:
      return messages::previousRestored(true);
    case PreviousOutcome::Kind::restoredNotLoaded:
      return messages::previousRestored(false);
    case PreviousOutcome::Kind::notLoadedAgain:
      return messages::previousNotLoaded(outcome.job);
    case PreviousOutcome::Kind::notRestored:
      return messages::previousNotRestored(outcome.reason ? describe(*outcome.reason) : "");
    case PreviousOutcome::Kind::noneBefore:
      return messages::nothingInstalledBefore();
  }
  return {};
}

std::string describe(const InstallFailure& failure) {
  const auto reason = describe(failure.reason);
  std::string line;
  switch (failure.refusal) {
    case InstallFailure::Refusal::notAuthorized:
      line = messages::notAuthorized(failure.subject, reason);
      break;
    case InstallFailure::Refusal::refusedHelper:
      line = messages::refusedHelper(failure.subject, reason);
      break;
    case InstallFailure::Refusal::refusedApplication:
      line = messages::refusedApplication(failure.subject, reason);
      break;
    case InstallFailure::Refusal::cannotInstall:
      line = messages::cannotInstall(reason);
      break;
  }
  if (failure.previous) line += "; " + describe(*failure.previous);
  return line;
}

}  // namespace tarnel::helperinstall
