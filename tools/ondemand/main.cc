// ondemand: launchd's on-demand start of a job, for one socket. It holds the job's listening
// socket and, whenever a client is waiting on it and the job is not running, starts the job with
// the socket handed over by the socket-activation protocol (LISTEN_PID, LISTEN_FDS, descriptor
// 3). A job that exits is started again by the next client.
//
//   ondemand --socket PATH -- PROGRAM [ARGUMENT...]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/posix/unix_socket.h"

namespace {

constexpr int kFirstPassedDescriptor = 3;  // SD_LISTEN_FDS_START
constexpr unsigned kThrottleSeconds = 1;

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

int fail(const char* what) {
  std::fprintf(stderr, "ondemand: %s: %s\n", what, std::strerror(errno));
  return 1;
}

// Starts the job with the socket as descriptor 3; its process id, or -1.
pid_t startJob(int listening, const std::vector<char*>& argv) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  // In the child: this process is single-threaded, so everything below is safe after fork.
  // dup2 onto itself would leave the close-on-exec flag set, so that case clears it instead.
  if (listening == kFirstPassedDescriptor) {
    if (::fcntl(listening, F_SETFD, 0) != 0) ::_exit(127);
  } else if (::dup2(listening, kFirstPassedDescriptor) < 0) {
    ::_exit(127);
  }
  const auto pid = std::to_string(::getpid());
  if (::setenv("LISTEN_PID", pid.c_str(), 1) != 0 || ::setenv("LISTEN_FDS", "1", 1) != 0) {
    ::_exit(127);
  }
  ::unsetenv("LISTEN_FDNAMES");
  ::execv(argv[0], argv.data());
  std::fprintf(stderr, "ondemand: cannot start %s: %s\n", argv[0], std::strerror(errno));
  ::_exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || std::strcmp(argv[1], "--socket") != 0 || std::strcmp(argv[3], "--") != 0) {
    std::fprintf(stderr, "usage: ondemand --socket PATH -- PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  const std::string path = argv[2];
  std::vector<char*> job(argv + 4, argv + argc);
  job.push_back(nullptr);

  struct sigaction stop {};
  stop.sa_handler = requestStop;
  if (::sigaction(SIGTERM, &stop, nullptr) != 0 || ::sigaction(SIGINT, &stop, nullptr) != 0) {
    return fail("sigaction");
  }

  // Any user may connect: the job itself decides whom it serves.
  const auto listening = tarnel::linux_platform::listenAt(path);
  if (!listening) {
    std::fprintf(stderr, "ondemand: %s\n", listening.error().description.c_str());
    return 1;
  }

  while (!stopRequested) {
    pollfd waiting{.fd = listening->get(), .events = POLLIN, .revents = 0};
    const int ready = ::poll(&waiting, 1, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return fail("poll");
    }
    const pid_t child = startJob(listening->get(), job);
    if (child < 0) return fail("fork");
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) return fail("waitpid");
      if (stopRequested) ::kill(child, SIGTERM);
    }
    // A job that cannot start would otherwise be restarted in a tight loop while its client
    // waits; one that failed is given a pause before the next start, as launchd throttles.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
      std::fprintf(stderr, "ondemand: %s could not be started; giving up\n", job[0]);
      return 1;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ::sleep(kThrottleSeconds);
  }
  ::unlink(path.c_str());
  return 0;
}
