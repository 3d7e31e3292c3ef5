#include "tools/helperinstall/helperinstall_error.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "tools/helperinstall/messages.h"

namespace tarnel::helperinstall {

namespace {

using Kind = HelperinstallError::Kind;

// Each text with its placeholders: {s} the subject, {d} the detail, {e} the system's reason for
// the error number, {n} the number.
struct Text {
  Kind kind;
  std::string_view text;
};

constexpr Text kTexts[] = {
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

std::string filledIn(std::string_view text, const HelperinstallError& error) {
  std::string line;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '{' || at + 2 >= text.size() || text[at + 2] != '}') {
      line += text[at];
      continue;
    }
    switch (text[at + 1]) {
      case 's':
        line += error.subject;
        break;
      case 'd':
        line += error.detail;
        break;
      case 'e':
        line += std::strerror(error.systemError);
        break;
      case 'n':
        line += std::to_string(error.number);
        break;
    }
    at += 2;
  }
  return line;
}

}  // namespace

std::string describe(const HelperinstallError& error) {
  const auto text = std::ranges::find(kTexts, error.kind, &Text::kind);
  return text == std::end(kTexts) ? std::string() : filledIn(text->text, error);
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
