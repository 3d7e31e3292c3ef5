#include "tools/launchctl/job_stopper.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/job_supervisor.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::openPidfd;

// Debian 12's <sys/pidfd.h> declares it without C linkage, so the system call is made as such.
int sendSignal(int pidfd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

enum class Ended { yes, no };

// Waits until the process behind `pidfd` has ended (it need not have been reaped) or `timeout`
// has passed; a negative timeout waits for ever.
std::expected<Ended, LaunchctlReason> waitForEnd(int pidfd, int timeoutMilliseconds) {
  pollfd entry{.fd = pidfd, .events = POLLIN};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return std::unexpected(systemCallFailed("poll", errno));
    return ready > 0 ? Ended::yes : Ended::no;
  }
}

// The leader through its descriptor, which cannot name another process; then the rest of its
// group, whose id the system does not hand out again while any member of the group remains.
std::expected<void, LaunchctlReason> signalJob(int pidfd, pid_t leader, int signal) {
  if (sendSignal(pidfd, signal) != 0 && errno != ESRCH) {
    return std::unexpected(systemCallFailed("pidfd_send_signal", errno));
  }
  if (::killpg(leader, signal) != 0 && errno != ESRCH) {
    return std::unexpected(systemCallFailed("killpg", errno));
  }
  return {};
}

}  // namespace

std::expected<void, LaunchctlReason> stopLoadedJob(const JobRecord& record) {
  if (record.supervisor) {
    const linux_platform::UniqueFd supervisor = openPidfd(record.supervisor->pid);
    if (!supervisor && errno != ESRCH) {
      return std::unexpected(systemCallFailed("pidfd_open", errno));
    }
    // Checked once the descriptor is held, as for a run below.
    if (supervisor && isRunning(*record.supervisor)) {
      const bool fromInside = record.process && ::getpgrp() == record.process->pid;
      if (sendSignal(supervisor.get(), fromInside ? kStopOnceEndedSignal : kStopSignal) != 0 &&
          errno != ESRCH) {
        return std::unexpected(systemCallFailed("pidfd_send_signal", errno));
      }
      if (fromInside) return {};
      const auto ended = waitForEnd(supervisor.get(), -1);
      if (!ended) return std::unexpected(ended.error());
      return {};
    }
  }
  // A run whose supervisor is gone (it was killed) is stopped here.
  if (record.process) return stopJob(*record.process);
  return {};
}

std::expected<void, LaunchctlReason> stopJob(const ProcessIdentity& process) {
  const linux_platform::UniqueFd pidfd = openPidfd(process.pid);
  if (!pidfd && errno == ESRCH) return {};
  if (!pidfd) return std::unexpected(systemCallFailed("pidfd_open", errno));
  // Checked once the descriptor is held, so that the descriptor names the job's process and not
  // a later one that was given the same id.
  if (!isRunning(process)) return {};

  if (auto sent = signalJob(pidfd.get(), process.pid, SIGTERM); !sent) return sent;
  const auto graceMilliseconds =
      static_cast<int>(std::chrono::milliseconds(kStopGracePeriod).count());
  const auto ended = waitForEnd(pidfd.get(), graceMilliseconds);
  if (!ended) return std::unexpected(ended.error());
  if (*ended == Ended::yes) return {};

  if (auto sent = signalJob(pidfd.get(), process.pid, SIGKILL); !sent) return sent;
  const auto killed = waitForEnd(pidfd.get(), -1);
  if (!killed) return std::unexpected(killed.error());
  return {};
}

}  // namespace tarnel::launchctl
