#include "tools/launchctl/launchctl_error.h"

#include <algorithm>
#include <cstring>

#include "tools/launchctl/messages.h"

namespace tarnel::launchctl {

namespace {

using Kind = LaunchctlReason::Kind;

// Each reason's text with its placeholders: {d} the detail, {q} the detail quoted, {e} the
// system's words for the error number, {n} the number.
struct Text {
  Kind kind;
  std::string_view text;
};

constexpr Text kTexts[] = {
    {Kind::systemCall, "{d}: {e}"},
    {Kind::systemError, "{e}"},
    {Kind::worded, "{d}"},
    {Kind::notRegularFile, "not a regular file"},
    {Kind::ownedByAnotherUser, "it is owned by another user"},
    {Kind::writableByOthers, "it is writable by group or others"},
    {Kind::largerThan, "larger than {n} bytes"},
    {Kind::expandsPast, "its objects are malformed or expand past {n} bytes when read"},
    {Kind::notAbsolutePath, "not an absolute path"},
    {Kind::empty, "empty"},
    {Kind::holdsNul, "holds a NUL character"},
    {Kind::badVariableName, "a variable name is empty or holds '=': {q}"},
    {Kind::badServiceName,
     "a service name is empty, . or .., or holds '/', ':' or a control character: {q}"},
    {Kind::badLabel, "empty or holds a control character"},
    {Kind::emptyProgramName, "empty program name"},
    {Kind::notADirectory, "not a directory"},
    {Kind::changeableByOthers, "another user can change what it holds"},
    {Kind::programNotFound, "{d}: not found in the job's PATH"},
    {Kind::supervisorReportTooLong, "the supervisor's report is too long"},
    {Kind::supervisorEndedEarly, "the supervisor ended before it could start the job"},
    {Kind::supervisorReportDamaged, "the supervisor's report is damaged"},
};

std::string filledIn(std::string_view text, const LaunchctlReason& reason) {
  std::string line;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '{' || at + 2 >= text.size() || text[at + 2] != '}') {
      line += text[at];
      continue;
    }
    switch (text[at + 1]) {
      case 'd':
        line += reason.detail;
        break;
      case 'q':
        line += messages::quoted(reason.detail);
        break;
      case 'e':
        line += std::strerror(reason.systemError);
        break;
      case 'n':
        line += std::to_string(reason.number);
        break;
    }
    at += 2;
  }
  return line;
}

}  // namespace

LaunchctlReason systemCallFailed(std::string what, int error) {
  return {.kind = Kind::systemCall, .detail = std::move(what), .systemError = error};
}

std::string describe(const LaunchctlReason& reason) {
  const auto text = std::ranges::find(kTexts, reason.kind, &Text::kind);
  return text == std::end(kTexts) ? std::string() : filledIn(text->text, reason);
}

std::string describe(const LaunchctlError& error) {
  using ErrorKind = LaunchctlError::Kind;
  const auto& subject = error.subject;
  switch (error.kind) {
    case ErrorKind::cannotReadJobFile:
      return messages::cannotReadJobFile(subject, describe(error.reason));
    case ErrorKind::unsafeJobFile:
      return messages::unsafeJobFile(subject, describe(error.reason));
    case ErrorKind::notAPropertyList:
      return messages::notAPropertyList(subject);
    case ErrorKind::notAJobDictionary:
      return messages::notAJobDictionary(subject);
    case ErrorKind::missingKey:
      return messages::missingKey(subject, error.key);
    case ErrorKind::wrongKeyType:
      return messages::wrongKeyType(subject, error.key, error.expected);
    case ErrorKind::badKeyValue:
      return messages::badKeyValue(subject, error.key, describe(error.reason));
    case ErrorKind::cannotStartJob:
      return messages::cannotStartJob(subject, describe(error.reason));
    case ErrorKind::cannotListen:
      return messages::cannotListen(subject, describe(error.reason));
    case ErrorKind::cannotStopJob:
      return messages::cannotStopJob(subject, describe(error.reason));
    case ErrorKind::stateFolderUnusable:
      return messages::stateFolderUnusable(subject, describe(error.reason));
    case ErrorKind::stateFileDamaged:
      return messages::stateFileDamaged(subject);
  }
  return {};
}

}  // namespace tarnel::launchctl
