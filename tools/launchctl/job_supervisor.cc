#include "tools/launchctl/job_supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/number_parsing.h"
#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/job_registry.h"
#include "tools/launchctl/job_spawner.h"
#include "tools/launchctl/job_stopper.h"
#include "tools/launchctl/messages.h"
#include "tools/launchctl/service_sockets.h"
#include "tools/launchctl/system_log.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::UniqueFd;
using Clock = std::chrono::steady_clock;

// The supervisor tells launchctl how the load went through a pipe, in one message: its own
// process id and start time, then "started PID STARTTIME", "failed" or "waiting".
constexpr std::string_view kStartedReport = "started ";
constexpr std::string_view kFailedReport = "failed";
constexpr std::string_view kWaitingReport = "waiting";
constexpr std::size_t kMaximumReport = 4096;
constexpr int kReportFd = 3;

LaunchctlReason failed(std::string what) { return systemCallFailed(std::move(what), errno); }

// The line the system log gets when the job cannot start or its sockets cannot listen.
std::string jobLine(LaunchctlError::Kind kind, const std::string& label, LaunchctlReason reason) {
  return describe(LaunchctlError{.kind = kind, .subject = label, .reason = std::move(reason)});
}

std::string identityText(const ProcessIdentity& process) {
  return std::to_string(process.pid) + ' ' + std::to_string(process.startTime);
}

// How the run ended as the registry records it: the exit status, or minus the number of the
// signal that ended it. The run is left unreaped, so that its identity stays its own until its
// end is recorded.
int endStatus(pid_t pid) {
  siginfo_t information{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &information, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) return -SIGKILL;  // not to be had: counted as a run that was killed
  }
  if (information.si_code == CLD_EXITED) return information.si_status;
  return -information.si_status;
}

enum class Stop { now, onceEnded };

class Supervisor {
 public:
  Supervisor(const JobDefinition& job, std::string stateFolder, ServiceSockets sockets,
             UniqueFd stopSignals)
      : job_(job),
        stateFolder_(std::move(stateFolder)),
        sockets_(std::move(sockets)),
        stopSignals_(std::move(stopSignals)),
        self_(identifyProcess(::getpid()).value_or(ProcessIdentity{.pid = ::getpid()})) {}

  const ProcessIdentity& self() const { return self_; }
  std::optional<ProcessIdentity> runningJob() const {
    return run_ ? std::optional(run_->identity) : std::nullopt;
  }

  // Starts a run of the job with its sockets; false when it could not start, which is logged.
  // Started or not, the next start waits until kThrottleInterval after this one.
  bool start() {
    nextStart_ = Clock::now() + kThrottleInterval;
    const auto pid = spawnJob(job_, PassedSockets{sockets_.descriptors(), sockets_.names()});
    if (!pid) {
      logToSystem(jobLine(LaunchctlError::Kind::cannotStartJob, job_.label, pid.error()));
      return false;
    }
    UniqueFd pidfd = linux_platform::openPidfd(*pid);
    if (!pidfd) {
      // A run whose end could not be seen could never be recorded or followed by another.
      logToSystem(jobLine(LaunchctlError::Kind::cannotStartJob, job_.label, failed("pidfd_open")));
      ::kill(*pid, SIGKILL);
      linux_platform::waitForChild(*pid);
      return false;
    }
    run_ = Run{.identity = identifyProcess(*pid).value_or(ProcessIdentity{.pid = *pid}),
               .pidfd = std::move(pidfd)};
    return true;
  }

  [[noreturn]] void serve() {
    for (;;) {
      if (run_) {
        if (const auto stop = waitFor({run_->pidfd.get()}, std::nullopt)) end(*stop);
        if (!finishRun()) end(Stop::now);
        continue;
      }
      if (sockets_.empty()) ::_exit(0);
      // A run that lasted less than the interval is followed by a pause; a longer one is not.
      const auto pause = std::chrono::ceil<std::chrono::milliseconds>(nextStart_ - Clock::now());
      if (pause.count() > 0) {
        if (const auto stop = waitFor({}, pause)) end(*stop);
      }
      if (const auto stop = waitFor(sockets_.descriptors(), std::nullopt)) end(*stop);
      if (!startOnDemand()) end(Stop::now);
    }
  }

 private:
  struct Run {
    ProcessIdentity identity;
    UniqueFd pidfd;  // readable once the run has ended
  };

  // Waits until one of `descriptors` is readable or `timeout` has passed; the stop asked for, if
  // that came first.
  std::optional<Stop> waitFor(const std::vector<int>& descriptors,
                              std::optional<std::chrono::milliseconds> timeout) {
    std::vector<pollfd> watched{{.fd = stopSignals_.get(), .events = POLLIN}};
    for (const int descriptor : descriptors)
      watched.push_back({.fd = descriptor, .events = POLLIN});
    const int milliseconds = timeout ? static_cast<int>(timeout->count()) : -1;
    for (;;) {
      const int ready = ::poll(watched.data(), watched.size(), milliseconds);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return Stop::now;  // nothing can be awaited any more
      if (watched.front().revents == 0) return std::nullopt;
      signalfd_siginfo signal{};
      if (::read(stopSignals_.get(), &signal, sizeof signal) != sizeof signal) return Stop::now;
      return signal.ssi_signo == kStopOnceEndedSignal ? Stop::onceEnded : Stop::now;
    }
  }

  // Applies `change` to the job's record when the registry still holds the job with this
  // supervisor; false when it does not (the job was unloaded). A registry that cannot be read is
  // no reason to stop serving the job.
  bool updateRecord(const std::function<void(JobRecord&)>& change) {
    auto registry = JobRegistry::open(stateFolder_, LockMode::exclusive);
    if (!registry) return true;
    JobRecord* record = registry->find(job_.label);
    if (record == nullptr || record->supervisor != self_) return false;
    change(*record);
    (void)registry->save();  // nobody is left to tell; the next change records afresh
    return true;
  }

  bool startOnDemand() {
    if (!start()) {
      return updateRecord([](JobRecord& record) {
        record.process.reset();
        record.lastExitStatus = kCouldNotStartStatus;
      });
    }
    return updateRecord([&](JobRecord& record) { record.process = run_->identity; });
  }

  // Records how the ended run went and reaps it; false when the job is no longer loaded.
  bool finishRun() {
    const int status = endStatus(run_->identity.pid);
    const bool loaded = updateRecord([&](JobRecord& record) {
      if (record.process != run_->identity) return;
      record.process.reset();
      record.lastExitStatus = status;
    });
    linux_platform::waitForChild(run_->identity.pid);
    run_.reset();
    return loaded;
  }

  [[noreturn]] void end(Stop stop) {
    sockets_.close();
    if (run_) {
      if (stop == Stop::onceEnded) (void)waitFor({run_->pidfd.get()}, kEndByItselfGracePeriod);
      (void)stopJob(run_->identity);  // nothing is sent to a run that has ended
      linux_platform::waitForChild(run_->identity.pid);
    }
    ::_exit(0);
  }

  const JobDefinition& job_;
  std::string stateFolder_;
  ServiceSockets sockets_;
  UniqueFd stopSignals_;
  ProcessIdentity self_;
  std::optional<Run> run_;
  // No start before this: kThrottleInterval after the last one.
  Clock::time_point nextStart_{};
};

// The supervisor's whole life: detach from everything launchctl inherited, take the job's sockets,
// start the job when it runs at load, report, serve. It never returns.
[[noreturn]] void superviseJob(const JobDefinition& job, const std::string& stateFolder,
                               const std::string& socketFolder, int reportFd) {
  if (reportFd != kReportFd && ::dup3(reportFd, kReportFd, O_CLOEXEC) < 0) ::_exit(1);
  // The caller's standard streams may be a pipe that it reads to its end; holding them would keep
  // it waiting for as long as the job is loaded.
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

  // The stop signals are taken as readable events, so that a stop is seen wherever it arrives.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, kStopSignal);
  sigaddset(&stops, kStopOnceEndedSignal);
  if (::sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) ::_exit(1);
  UniqueFd stopSignals(::signalfd(-1, &stops, SFD_CLOEXEC));
  if (!stopSignals) ::_exit(1);

  auto sockets = ServiceSockets::listen(socketFolder, job.machServices);
  if (!sockets) {
    logToSystem(jobLine(LaunchctlError::Kind::cannotListen, job.label, sockets.error()));
  }
  Supervisor supervisor(job, stateFolder, sockets ? std::move(*sockets) : ServiceSockets(),
                        std::move(stopSignals));

  std::string report = identityText(supervisor.self()) + ' ';
  if (!sockets) {
    report += kFailedReport;
  } else if (!job.runAtLoad) {
    report += kWaitingReport;
  } else if (supervisor.start()) {
    report += std::string(kStartedReport) + identityText(*supervisor.runningJob());
  } else {
    report += kFailedReport;
  }
  // A report that cannot be written means launchctl has gone; the supervisor carries on regardless.
  (void)linux_platform::writeAll(kReportFd, report);
  ::close(kReportFd);
  supervisor.serve();
}

std::expected<std::string, LaunchctlReason> readReport(int fd) {
  auto report = linux_platform::readAll(fd, kMaximumReport);
  if (report) return std::move(*report);
  if (report.error().kind == linux_platform::ReadAllError::Kind::tooLarge) {
    return std::unexpected(LaunchctlReason{.kind = LaunchctlReason::Kind::supervisorReportTooLong});
  }
  return std::unexpected(systemCallFailed("read", report.error().systemError));
}

std::optional<ProcessIdentity> parseIdentity(std::string_view& text) {
  const auto parseWord = [&]() {
    const auto blank = text.find(' ');
    const auto word = text.substr(0, blank);
    text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
    return word;
  };
  const auto pid = linux_platform::parseNumber<pid_t>(parseWord());
  const auto startTime = linux_platform::parseNumber<std::uint64_t>(parseWord());
  if (!pid || *pid <= 0 || !startTime) return std::nullopt;
  return ProcessIdentity{.pid = *pid, .startTime = *startTime};
}

std::expected<SupervisorReport, LaunchctlReason> parseReport(std::string_view report) {
  if (report.empty()) {
    return std::unexpected(LaunchctlReason{.kind = LaunchctlReason::Kind::supervisorEndedEarly});
  }
  const auto damaged =
      std::unexpected(LaunchctlReason{.kind = LaunchctlReason::Kind::supervisorReportDamaged});
  const auto supervisor = parseIdentity(report);
  if (!supervisor) return damaged;
  SupervisorReport parsed{.supervisor = *supervisor};
  if (report == kFailedReport) {
    parsed.startFailed = true;
  } else if (report.starts_with(kStartedReport)) {
    report.remove_prefix(kStartedReport.size());
    parsed.run = parseIdentity(report);
    if (!parsed.run || !report.empty()) return damaged;
  } else if (report != kWaitingReport) {
    return damaged;
  }
  return parsed;
}

}  // namespace

std::expected<SupervisorReport, LaunchctlReason> startSupervisor(const JobDefinition& job,
                                                                 const std::string& stateFolder,
                                                                 const std::string& socketFolder) {
  // Waiting for children needs SIGCHLD at its default: ignored, the kernel would reap them unseen.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  if (::sigaction(SIGCHLD, &defaultAction, nullptr) != 0)
    return std::unexpected(failed("sigaction"));

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::unexpected(failed("pipe"));
  const UniqueFd reportReader(ends[0]);
  UniqueFd reportWriter(ends[1]);

  const pid_t intermediate = ::fork();
  if (intermediate < 0) return std::unexpected(failed("fork"));
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
    superviseJob(job, stateFolder, socketFolder, reportWriter.get());
  }

  reportWriter.reset();
  linux_platform::waitForChild(intermediate);
  const auto report = readReport(reportReader.get());
  if (!report) return std::unexpected(report.error());
  return parseReport(*report);
}

}  // namespace tarnel::launchctl
