#include "tools/launchctl/job_spawner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::SpawnAttributes;
using linux_platform::SpawnFileActions;
using linux_platform::spawnProgram;
using linux_platform::UniqueFd;

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
  // dup2 clears close-on-exec on the copies only: every other descriptor stays behind.
  if (!actions.duplicate(input.get(), STDIN_FILENO) ||
      !actions.duplicate(output->get(), STDOUT_FILENO) ||
      !actions.duplicate(errors->get(), STDERR_FILENO) ||
      (job.workingDirectory && !actions.changeDirectory(*job.workingDirectory)) ||
      !attributes.newSession() || !attributes.resetSignals()) {
    return std::unexpected(describe("posix_spawn", ENOMEM));
  }
  const auto pid = spawnProgram(*program, job.arguments, actions, attributes, &environment);
  if (!pid) return std::unexpected(describe(*program, pid.error()));
  return *pid;
}

}  // namespace tarnel::launchctl
