#include "tools/authorityd/pkcheck.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <vector>

#include "platform/authorization.h"
#include "platform/linux/unique_fd.h"
#include "tools/authorityd/server_log.h"

extern char** environ;

namespace tarnel::authorityd {

namespace {

using linux_platform::UniqueFd;

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

class SpawnFileActions {
 public:
  SpawnFileActions() { valid_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  ~SpawnFileActions() {
    if (valid_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  bool valid() const { return valid_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool valid_ = false;
};

// The server ignores SIGPIPE; pkcheck gets the default back, as any program expects.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    sigset_t defaults;
    valid_ = ::posix_spawnattr_init(&attributes_) == 0;
    if (!valid_) return;
    configured_ = ::sigemptyset(&defaults) == 0 && ::sigaddset(&defaults, SIGPIPE) == 0 &&
                  ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
                  ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF) == 0;
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() {
    if (valid_) ::posix_spawnattr_destroy(&attributes_);
  }
  bool valid() const { return valid_ && configured_; }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
  bool valid_ = false;
  bool configured_ = false;
};

pid_t waitFor(pid_t child, int& waitStatus) {
  pid_t result;
  do {
    result = ::waitpid(child, &waitStatus, 0);
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

OSStatus askPolkit(const std::string& pkcheckPath, std::string_view actionId,
                   const PolkitSubject& subject, Interaction interaction) {
  const std::string action(actionId);
  const std::string process = std::to_string(subject.processId) + "," +
                              std::to_string(subject.startTime) + "," +
                              std::to_string(subject.user);
  std::vector<const char*> arguments = {pkcheckPath.c_str(), "--action-id", action.c_str(),
                                        "--process", process.c_str()};
  if (interaction == Interaction::allowed) arguments.push_back("--allow-user-interaction");
  arguments.push_back(nullptr);

  // pkcheck talks to polkit alone: nothing to read, and what it prints is not for our clients.
  UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  SpawnFileActions actions;
  const SpawnAttributes attributes;
  if (!devNull || !actions.valid() || !attributes.valid() ||
      ::posix_spawn_file_actions_adddup2(actions.get(), devNull.get(), STDIN_FILENO) != 0 ||
      ::posix_spawn_file_actions_adddup2(actions.get(), devNull.get(), STDOUT_FILENO) != 0) {
    logLine("cannot prepare pkcheck");
    return errAuthorizationInternal;
  }

  pid_t child = -1;
  const int spawnError = ::posix_spawn(&child, pkcheckPath.c_str(), actions.get(), attributes.get(),
                                       const_cast<char* const*>(arguments.data()), environ);
  if (spawnError != 0) {
    logLine("cannot run " + pkcheckPath + ": " + std::generic_category().message(spawnError));
    return errAuthorizationInternal;
  }
  int waitStatus = 0;
  if (waitFor(child, waitStatus) != child) {
    logLine("cannot wait for pkcheck");
    return errAuthorizationInternal;
  }
  if (!WIFEXITED(waitStatus)) {
    logLine("pkcheck ended without an exit status");
    return errAuthorizationInternal;
  }
  const auto meaning =
      std::ranges::find(kExitStatuses, WEXITSTATUS(waitStatus), &ExitStatusMeaning::exitStatus);
  if (meaning == std::end(kExitStatuses)) {
    logLine("pkcheck failed with status " + std::to_string(WEXITSTATUS(waitStatus)));
    return errAuthorizationInternal;
  }
  return meaning->status;
}

}  // namespace tarnel::authorityd
