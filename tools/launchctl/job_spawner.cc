#include "tools/launchctl/job_spawner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "platform/linux/unique_fd.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::UniqueFd;

class SpawnFileActions {
 public:
  SpawnFileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnFileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { ok_ = ::posix_spawnattr_init(&attributes_) == 0; }
  ~SpawnAttributes() {
    if (ok_) ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  bool ok() const { return ok_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
  bool ok_ = false;
};

std::string describe(std::string_view what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

std::expected<UniqueFd, std::string> openOutput(const std::optional<std::string>& path) {
  UniqueFd fd = path ? UniqueFd(::open(path->c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644))
                     : UniqueFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!fd) return std::unexpected(describe(path.value_or("/dev/null"), errno));
  return fd;
}

std::string environmentValue(const std::vector<std::string>& environment, std::string_view name) {
  for (const auto& entry : environment) {
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return entry.substr(name.size() + 1);
    }
  }
  return {};
}

bool isExecutableFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// A program named without a slash is looked up in the job's own PATH, as a user would expect
// of a job that says "echo"; with a slash it is used as it stands.
std::expected<std::string, std::string> resolveProgram(
    const std::string& program, const std::vector<std::string>& environment) {
  if (program.find('/') != std::string::npos) return program;
  const std::string searchPath = environmentValue(environment, "PATH");
  std::string_view rest = searchPath;
  while (!rest.empty()) {
    const auto end = rest.find(':');
    const std::string_view folder = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (folder.empty()) continue;
    const std::string candidate = std::string(folder) + "/" + program;
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::unexpected(program + ": not found in the job's PATH");
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  result.reserve(strings.size() + 1);
  for (auto& string : strings) result.push_back(string.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::vector<std::string> jobEnvironment(const JobDefinition& job) {
  std::map<std::string, std::string> variables{{"PATH", kJobSearchPath}};
  for (const auto& [name, value] : job.environmentVariables) variables[name] = value;
  std::vector<std::string> environment;
  for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
  return environment;
}

std::expected<pid_t, std::string> spawnJob(const JobDefinition& job) {
  std::vector<std::string> environment = jobEnvironment(job);
  const auto program = resolveProgram(job.program, environment);
  if (!program) return std::unexpected(program.error());

  if (job.workingDirectory) {
    struct stat status {};
    if (::stat(job.workingDirectory->c_str(), &status) != 0) {
      return std::unexpected(describe(*job.workingDirectory, errno));
    }
    if (!S_ISDIR(status.st_mode)) return std::unexpected(describe(*job.workingDirectory, ENOTDIR));
  }

  const UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!input) return std::unexpected(describe("/dev/null", errno));
  auto output = openOutput(job.standardOutPath);
  if (!output) return std::unexpected(output.error());
  auto errors = openOutput(job.standardErrorPath);
  if (!errors) return std::unexpected(errors.error());

  SpawnFileActions actions;
  SpawnAttributes attributes;
  if (!actions.ok() || !attributes.ok()) return std::unexpected(describe("posix_spawn", ENOMEM));
  // dup2 clears close-on-exec on the copies only: every other descriptor stays behind.
  int failure = ::posix_spawn_file_actions_adddup2(actions.get(), input.get(), STDIN_FILENO);
  if (failure == 0) {
    failure = ::posix_spawn_file_actions_adddup2(actions.get(), output->get(), STDOUT_FILENO);
  }
  if (failure == 0) {
    failure = ::posix_spawn_file_actions_adddup2(actions.get(), errors->get(), STDERR_FILENO);
  }
  if (failure == 0 && job.workingDirectory) {
    failure = ::posix_spawn_file_actions_addchdir_np(actions.get(), job.workingDirectory->c_str());
  }

  sigset_t noSignals;
  sigset_t allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  if (failure == 0) {
    failure = ::posix_spawnattr_setflags(
        attributes.get(), POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  if (failure == 0) failure = ::posix_spawnattr_setsigmask(attributes.get(), &noSignals);
  if (failure == 0) failure = ::posix_spawnattr_setsigdefault(attributes.get(), &allSignals);
  if (failure != 0) return std::unexpected(describe("posix_spawn", failure));

  std::vector<std::string> arguments = job.arguments;
  const auto argv = pointers(arguments);
  const auto envp = pointers(environment);
  pid_t pid = 0;
  failure = ::posix_spawn(&pid, program->c_str(), actions.get(), attributes.get(), argv.data(),
                          envp.data());
  if (failure != 0) return std::unexpected(describe(*program, failure));
  return pid;
}

}  // namespace tarnel::launchctl
