#include "platform/linux/posix/spawn.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace tarnel::linux_platform {

namespace {

constexpr int kFirstDescriptorAfterStandardStreams = 3;

// posix_spawn takes char* const[] but never writes through it.
std::vector<char*> pointersTo(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const auto& string : strings) pointers.push_back(const_cast<char*>(string.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

SpawnAttributes::SpawnAttributes() : initialised_(::posix_spawnattr_init(&attributes_) == 0) {}

SpawnAttributes::~SpawnAttributes() {
  if (initialised_) ::posix_spawnattr_destroy(&attributes_);
}

bool SpawnAttributes::addFlags(short flags) {
  short current = 0;
  return initialised_ && ::posix_spawnattr_getflags(&attributes_, &current) == 0 &&
         ::posix_spawnattr_setflags(&attributes_, static_cast<short>(current | flags)) == 0;
}

bool SpawnAttributes::resetSignals() {
  sigset_t none;
  sigset_t all;
  return initialised_ && ::sigemptyset(&none) == 0 && ::sigfillset(&all) == 0 &&
         ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
         ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
         addFlags(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

SpawnFileActions::SpawnFileActions()
    : initialised_(::posix_spawn_file_actions_init(&actions_) == 0) {}

SpawnFileActions::~SpawnFileActions() {
  if (initialised_) ::posix_spawn_file_actions_destroy(&actions_);
}

bool SpawnFileActions::duplicate(int from, int to) {
  return initialised_ && ::posix_spawn_file_actions_adddup2(&actions_, from, to) == 0;
}

bool SpawnFileActions::closeAllButStandardStreams() {
  return initialised_ && ::posix_spawn_file_actions_addclosefrom_np(
                             &actions_, kFirstDescriptorAfterStandardStreams) == 0;
}

std::expected<pid_t, int> spawnProgram(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const SpawnFileActions& actions,
                                       const SpawnAttributes& attributes,
                                       const std::vector<std::string>* environment) {
  const auto argv = pointersTo(arguments);
  const auto envp = environment ? pointersTo(*environment) : std::vector<char*>();
  pid_t child = 0;
  const int error = ::posix_spawn(&child, program.c_str(), actions.get(), attributes.get(),
                                  argv.data(), environment ? envp.data() : environ);
  if (error != 0) return std::unexpected(error);
  return child;
}

std::optional<int> waitForChild(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  return status;
}

}  // namespace tarnel::linux_platform
