#include "tools/launchctl/job_supervisor.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/linux/posix/number_parsing.h"
#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/job_registry.h"
#include "tools/launchctl/job_spawner.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::UniqueFd;

// The supervisor tells launchctl how the start went through a pipe, in one message:
// "started PID STARTTIME" or "failed REASON".
constexpr std::string_view kStartedReport = "started ";
constexpr std::string_view kFailedReport = "failed ";
constexpr std::size_t kMaximumReport = 4096;
constexpr int kReportFd = 3;

void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;  // launchctl has gone; the job runs on regardless
    text.remove_prefix(static_cast<std::size_t>(count));
  }
}

pid_t waitForExit(pid_t pid, int& waitStatus) {
  for (;;) {
    const pid_t ended = ::waitpid(pid, &waitStatus, 0);
    if (ended < 0 && errno == EINTR) continue;
    return ended;
  }
}

// How the job ended as the registry records it: the exit status, or minus the number of the
// signal that ended it. The job is left unreaped.
std::optional<int> waitForEndWithoutReaping(pid_t pid) {
  siginfo_t information{};
  for (;;) {
    if (::waitid(P_PID, static_cast<id_t>(pid), &information, WEXITED | WNOWAIT) == 0) break;
    if (errno != EINTR) return std::nullopt;
  }
  if (information.si_code == CLD_EXITED) return information.si_status;
  return -information.si_status;
}

void recordExit(const std::string& stateFolder, const std::string& label,
                const ProcessIdentity& run, int status) {
  auto registry = JobRegistry::open(stateFolder, LockMode::exclusive);
  if (!registry) return;
  JobRecord* record = registry->find(label);
  // Unloaded, or unloaded and loaded again, since this run began: the registry is not ours to
  // change any more.
  if (record == nullptr || record->process != run) return;
  record->process.reset();
  record->lastExitStatus = status;
  (void)registry->save();  // nobody is left to tell; the next run records afresh
}

// The supervisor's whole life: detach from everything launchctl inherited, start the job, report,
// wait, record. It never returns.
[[noreturn]] void superviseJob(const JobDefinition& job, const std::string& stateFolder,
                               int reportFd) {
  if (reportFd != kReportFd && ::dup3(reportFd, kReportFd, O_CLOEXEC) < 0) ::_exit(1);
  // The caller's standard streams may be a pipe that it reads to its end; holding them would keep
  // it waiting for as long as the job runs.
  const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) ::_exit(1);
  for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::dup2(devNull, stream) < 0) ::_exit(1);
  }
  // Everything else, the registry lock included: launchctl still holds that lock and releases it
  // when it returns.
  if (::close_range(kReportFd + 1, ~0U, 0) != 0) ::_exit(1);
  if (::chdir("/") != 0) ::_exit(1);
  ::umask(022);

  const auto pid = spawnJob(job);
  if (!pid) {
    writeAll(kReportFd, std::string(kFailedReport) + pid.error());
    ::_exit(0);
  }
  // The job is this process's child until it is reaped here, so its identity is still readable.
  const ProcessIdentity run = identifyProcess(*pid).value_or(ProcessIdentity{.pid = *pid});
  writeAll(kReportFd, std::string(kStartedReport) + std::to_string(run.pid) + ' ' +
                          std::to_string(run.startTime));
  ::close(kReportFd);

  // The ended job stays a zombie until its status is recorded, so that the job list never shows
  // it gone while its last exit status is still the previous one.
  const auto status = waitForEndWithoutReaping(*pid);
  if (status) recordExit(stateFolder, job.label, run, *status);
  int waitStatus = 0;
  (void)waitForExit(*pid, waitStatus);
  ::_exit(0);
}

std::expected<std::string, std::string> readReport(int fd) {
  std::string report;
  char buffer[512];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return std::unexpected(std::string("read: ") + std::strerror(errno));
    if (count == 0) return report;
    report.append(buffer, static_cast<std::size_t>(count));
    if (report.size() > kMaximumReport)
      return std::unexpected("the supervisor's report is too long");
  }
}

std::expected<ProcessIdentity, std::string> parseReport(std::string_view report) {
  if (report.starts_with(kFailedReport)) {
    return std::unexpected(std::string(report.substr(kFailedReport.size())));
  }
  if (!report.starts_with(kStartedReport)) {
    return std::unexpected("the supervisor ended before it could start the job");
  }
  report.remove_prefix(kStartedReport.size());
  const auto blank = report.find(' ');
  const auto pid = linux_platform::parseNumber<pid_t>(report.substr(0, blank));
  const auto startTime = blank == std::string_view::npos
                             ? std::nullopt
                             : linux_platform::parseNumber<std::uint64_t>(report.substr(blank + 1));
  if (!pid || *pid <= 0 || !startTime) return std::unexpected("the supervisor's report is damaged");
  return ProcessIdentity{.pid = *pid, .startTime = *startTime};
}

}  // namespace

std::expected<ProcessIdentity, std::string> startSupervisedJob(const JobDefinition& job,
                                                               const std::string& stateFolder) {
  // Waiting for children needs SIGCHLD at its default: ignored, the kernel would reap them unseen.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  if (::sigaction(SIGCHLD, &defaultAction, nullptr) != 0) {
    return std::unexpected(std::string("sigaction: ") + std::strerror(errno));
  }

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return std::unexpected(std::string("pipe: ") + std::strerror(errno));
  }
  const UniqueFd reportReader(ends[0]);
  UniqueFd reportWriter(ends[1]);

  const pid_t intermediate = ::fork();
  if (intermediate < 0) return std::unexpected(std::string("fork: ") + std::strerror(errno));
  if (intermediate == 0) {
    // Leaving launchctl's session and then its process tree: once this intermediate process
    // exits, the supervisor belongs to neither, and launchctl can end without taking it along.
    if (::setsid() < 0) ::_exit(1);
    const pid_t supervisor = ::fork();
    if (supervisor < 0) ::_exit(1);
    if (supervisor > 0) ::_exit(0);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    if (::sigprocmask(SIG_SETMASK, &noSignals, nullptr) != 0) ::_exit(1);
    // A launchctl killed while it waits for the report must not take the supervisor with it.
    if (::signal(SIGPIPE, SIG_IGN) == SIG_ERR) ::_exit(1);
    superviseJob(job, stateFolder, reportWriter.get());
  }

  reportWriter.reset();
  int waitStatus = 0;
  if (waitForExit(intermediate, waitStatus) != intermediate) {
    return std::unexpected(std::string("waitpid: ") + std::strerror(errno));
  }
  const auto report = readReport(reportReader.get());
  if (!report) return std::unexpected(report.error());
  return parseReport(*report);
}

}  // namespace tarnel::launchctl
