// Starting programs with posix_spawn, never fork: the attributes and file actions it takes, each
// owned, and the one call that starts a child and the one that waits for it.
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace tarnel::linux_platform {

// What the child is set up with before it runs. Each step answers false when it could not be
// added, upon which the child must not be started.
class SpawnAttributes {
 public:
  SpawnAttributes();
  ~SpawnAttributes();
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  // The child starts with no signal blocked and every signal at its default action, whatever the
  // starting thread blocks or its process ignores (a shell pipeline relies on SIGPIPE).
  bool resetSignals();

  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  bool addFlags(short flags);

  posix_spawnattr_t attributes_;
  bool initialised_;
};

class SpawnFileActions {
 public:
  SpawnFileActions();
  ~SpawnFileActions();
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;

  // The child's descriptor `to` is a copy of `from`, close-on-exec cleared on the copy alone.
  bool duplicate(int from, int to);
  // A descriptor that somebody opened without close-on-exec still never reaches the child: it
  // inherits the standard streams, and what duplicate() gave it, and nothing else.
  bool closeAllButStandardStreams();

  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool initialised_;
};

// Starts `program` with the argument vector `arguments` (argv[0] first) and `environment`
// ("NAME=value" entries; this process's own when nothing is given). The child's id, or the
// error number that says why it could not be started.
std::expected<pid_t, int> spawnProgram(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const SpawnFileActions& actions,
                                       const SpawnAttributes& attributes,
                                       const std::vector<std::string>* environment = nullptr);

// Waits for `child` to end and reaps it: its wait status (as waitpid gives it), or nothing when
// that cannot be had (somebody else reaped it).
std::optional<int> waitForChild(pid_t child);

}  // namespace tarnel::linux_platform
