#include "tools/launchctl/launchctl_error.h"

#include <cstring>

#include "platform/linux/posix/message_text.h"
#include "tools/launchctl/messages.h"

namespace tarnel::launchctl {

namespace {

using Kind = LaunchctlReason::Kind;
using linux_platform::MessageText;

// {d} the detail, {q} the detail quoted, {e} the system's words for the error number, {n} the
// number.
constexpr MessageText<Kind> kTexts[] = {
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
static_assert(linux_platform::everyKindHasOneText(kTexts, Kind::supervisorReportDamaged));

}  // namespace

LaunchctlReason systemCallFailed(std::string what, int error) {
  return {.kind = Kind::systemCall, .detail = std::move(what), .systemError = error};
}

std::string describe(const LaunchctlReason& reason) {
  return linux_platform::filledIn(linux_platform::textOf(kTexts, reason.kind),
                                  {{'d', reason.detail},
                                   {'q', messages::quoted(reason.detail)},
                                   {'e', std::strerror(reason.systemError)},
                                   {'n', std::to_string(reason.number)}});
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
