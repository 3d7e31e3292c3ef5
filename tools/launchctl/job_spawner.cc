#include "tools/launchctl/job_spawner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <optional>
#include <string_view>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::UniqueFd;

constexpr int kFirstPassedDescriptor = 3;  // SD_LISTEN_FDS_START
constexpr std::size_t kMaximumStartReport = 4096;

std::expected<UniqueFd, LaunchctlReason> openOutput(const std::optional<std::string>& path) {
  UniqueFd fd = path ? UniqueFd(::open(path->c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644))
                     : UniqueFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!fd) return std::unexpected(systemCallFailed(path.value_or("/dev/null"), errno));
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
std::expected<std::string, LaunchctlReason> resolveProgram(
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
  return std::unexpected(
      LaunchctlReason{.kind = LaunchctlReason::Kind::programNotFound, .detail = program});
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& string : strings) pointers.push_back(string.data());
  pointers.push_back(nullptr);
  return pointers;
}

// What the child was given, prepared before the fork.
struct ChildSetup {
  std::string program;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::optional<std::string> workingDirectory;
  // Descriptors 0, 1, 2 and then the passed sockets, in the order the job receives them.
  std::vector<int> descriptors;
  int report = -1;  // close-on-exec: the exec closes it, a failure writes its reason there
};

[[noreturn]] void failInChild(int report, std::string_view what) {
  // The one text that leaves the child: its parent passes it on as it is.
  const std::string reason = describe(systemCallFailed(std::string(what), errno));
  [[maybe_unused]] const auto written = ::write(report, reason.data(), reason.size());
  ::_exit(127);
}

// The child between fork and exec. The supervisor that forks has one thread, so everything the
// child calls here (allocation included) finds the state it would in a process of its own.
[[noreturn]] void runChild(ChildSetup& setup) {
  // Every descriptor first moves above the places it is to take, the report's included, so that
  // placing one never overwrites another still to be used; dup2 then clears close-on-exec on the
  // placed copies.
  const int above = static_cast<int>(setup.descriptors.size());
  const int report = ::fcntl(setup.report, F_DUPFD_CLOEXEC, above);
  if (report < 0) failInChild(setup.report, "fcntl");
  if (::setsid() < 0) failInChild(report, "setsid");
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) (void)::sigaction(signal, &defaultAction, nullptr);
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  if (::sigprocmask(SIG_SETMASK, &noSignals, nullptr) != 0) failInChild(report, "sigprocmask");

  std::vector<int> moved;
  for (const int descriptor : setup.descriptors) {
    const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, above);
    if (copy < 0) failInChild(report, "fcntl");
    moved.push_back(copy);
  }
  for (int place = 0; place < above; ++place) {
    if (::dup2(moved[static_cast<std::size_t>(place)], place) < 0) failInChild(report, "dup2");
  }
  if (::close_range(static_cast<unsigned>(above), ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    failInChild(report, "close_range");
  }
  if (setup.workingDirectory && ::chdir(setup.workingDirectory->c_str()) != 0) {
    failInChild(report, *setup.workingDirectory);
  }
  const int socketCount = above - kFirstPassedDescriptor;
  if (socketCount > 0) setup.environment.push_back("LISTEN_PID=" + std::to_string(::getpid()));
  auto argv = pointersTo(setup.arguments);
  auto envp = pointersTo(setup.environment);
  ::execve(setup.program.c_str(), argv.data(), envp.data());
  failInChild(report, setup.program);
}

std::expected<std::string, LaunchctlReason> readStartReport(int fd) {
  // A report past the bound is cut there: it is a failure either way.
  auto report = linux_platform::readUpTo(fd, kMaximumStartReport + 1);
  if (!report) return std::unexpected(systemCallFailed("read", report.error()));
  return std::move(*report);
}

}  // namespace

std::vector<std::string> jobEnvironment(const JobDefinition& job) {
  std::map<std::string, std::string> variables{{"PATH", kJobSearchPath}};
  for (const auto& [name, value] : job.environmentVariables) variables[name] = value;
  std::vector<std::string> environment;
  for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
  return environment;
}

std::expected<pid_t, LaunchctlReason> spawnJob(const JobDefinition& job,
                                               const PassedSockets& sockets) {
  ChildSetup setup{.arguments = job.arguments,
                   .environment = jobEnvironment(job),
                   .workingDirectory = job.workingDirectory};
  const auto program = resolveProgram(job.program, setup.environment);
  if (!program) return std::unexpected(program.error());
  setup.program = *program;

  const UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!input) return std::unexpected(systemCallFailed("/dev/null", errno));
  auto output = openOutput(job.standardOutPath);
  if (!output) return std::unexpected(output.error());
  auto errors = openOutput(job.standardErrorPath);
  if (!errors) return std::unexpected(errors.error());
  setup.descriptors = {input.get(), output->get(), errors->get()};
  setup.descriptors.insert(setup.descriptors.end(), sockets.descriptors.begin(),
                           sockets.descriptors.end());
  if (!sockets.descriptors.empty()) {
    // The variables of the socket-activation protocol, as the job's service manager sets them.
    std::string names;
    for (const auto& name : sockets.names) names += (names.empty() ? "" : ":") + name;
    setup.environment.push_back("LISTEN_FDS=" + std::to_string(sockets.descriptors.size()));
    setup.environment.push_back("LISTEN_FDNAMES=" + names);
  }

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::unexpected(systemCallFailed("pipe", errno));
  const UniqueFd reportReader(ends[0]);
  UniqueFd reportWriter(ends[1]);
  setup.report = reportWriter.get();

  // posix_spawn cannot start a job with socket activation: LISTEN_PID must be the child's own
  // process id, which only the child knows, and its environment is fixed before the child exists.
  // The child of a fork sets it before it executes the program; one way of starting serves every
  // job.
  const pid_t child = ::fork();
  if (child < 0) return std::unexpected(systemCallFailed("fork", errno));
  if (child == 0) runChild(setup);

  reportWriter.reset();
  const auto report = readStartReport(reportReader.get());
  if (report && report->empty()) return child;
  linux_platform::waitForChild(child);
  if (!report) return std::unexpected(report.error());
  return std::unexpected(LaunchctlReason{.kind = LaunchctlReason::Kind::worded, .detail = *report});
}

}  // namespace tarnel::launchctl
