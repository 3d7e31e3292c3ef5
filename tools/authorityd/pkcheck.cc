#include "tools/authorityd/pkcheck.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/authorization.h"
#include "platform/linux/posix/program_run.h"
#include "tools/authorityd/server_log.h"

namespace tarnel::authorityd {

namespace {

using linux_platform::ChildStream;
using linux_platform::RunError;

struct ExitStatusMeaning {
  int exitStatus;
  OSStatus status;
};

// pkcheck's exit statuses; any other, like no status at all, is a failure of its own.
constexpr ExitStatusMeaning kExitStatuses[] = {
    {0, errAuthorizationSuccess},
    {1, errAuthorizationDenied},                 // not authorized
    {2, errAuthorizationInteractionNotAllowed},  // authentication needed and not obtained
    {3, errAuthorizationCanceled},               // the user dismissed the dialog
};

}  // namespace

OSStatus askPolkit(const std::string& pkcheckPath, std::string_view actionId,
                   const PolkitSubject& subject, Interaction interaction) {
  const std::string action(actionId);
  const std::string process = std::to_string(subject.processId) + "," +
                              std::to_string(subject.startTime) + "," +
                              std::to_string(subject.user);
  std::vector<std::string> arguments = {pkcheckPath, "--action-id", action, "--process", process};
  if (interaction == Interaction::allowed) arguments.push_back("--allow-user-interaction");

  // pkcheck talks to polkit alone: nothing to read, and what it prints is not for our clients.
  // The server ignores SIGPIPE; pkcheck gets the default back, as any program expects.
  const auto waited = linux_platform::runAndWait(
      pkcheckPath, arguments,
      {.input = ChildStream::nullDevice(), .output = ChildStream::nullDevice()});
  if (!waited) {
    switch (waited.error().kind) {
      case RunError::Kind::cannotPrepare:
        logLine("cannot prepare pkcheck");
        break;
      case RunError::Kind::cannotStart:
        logLine("cannot run " + pkcheckPath + ": " +
                std::generic_category().message(waited.error().systemError));
        break;
      case RunError::Kind::cannotWait:
        logLine("cannot wait for pkcheck");
        break;
    }
    return errAuthorizationInternal;
  }
  const auto exitStatus = linux_platform::exitStatusOf(*waited);
  if (!exitStatus) {
    logLine("pkcheck ended without an exit status");
    return errAuthorizationInternal;
  }
  const auto meaning =
      std::ranges::find(kExitStatuses, *exitStatus, &ExitStatusMeaning::exitStatus);
  if (meaning == std::end(kExitStatuses)) {
    logLine("pkcheck failed with status " + std::to_string(*exitStatus));
    return errAuthorizationInternal;
  }
  return meaning->status;
}

}  // namespace tarnel::authorityd
