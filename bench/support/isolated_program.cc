#include "bench/support/isolated_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/linux/posix/unix_socket.h"
#include "tests/support/isolation.h"

namespace tarnel::bench {

namespace {

using linux_platform::UniqueFd;

// Why the child gave up before its exec: its exit status.
enum ChildFailure {
  kNamespace = 100,
  kPrivateMounts,
  kOverlayScratch,
  kEtcOverlay,
  kAnchorsFolder,
  kAnchorsMount,
  kRunMount,
  kStandardStreams,
  kActivatedSocket,
  kHandshake,
  kExec,
};

const char* failureText(int status) {
  switch (status) {
    case kNamespace:
      return "cannot make a mount namespace";
    case kPrivateMounts:
      return "cannot make the mounts private";
    case kOverlayScratch:
      return "cannot mount the scratch folder of /etc's overlay";
    case kEtcOverlay:
      return "cannot lay an overlay over /etc";
    case kAnchorsFolder:
      return "cannot make /etc/tarnel/anchors";
    case kAnchorsMount:
      return "cannot mount the anchors on /etc/tarnel/anchors";
    case kRunMount:
      return "cannot mount the run folder on /run";
    case kStandardStreams:
      return "cannot set the standard streams";
    case kActivatedSocket:
      return "cannot pass the socket";
    case kHandshake:
      return "was not let go";
    case kExec:
      return "cannot run the program";
    default:
      return "ended before its exec";
  }
}

sockaddr_un addressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

}  // namespace

IsolatedProgram::IsolatedProgram(const Options& options) {
  char pattern[] = "/tmp/tarnel-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
  folder_ = pattern;
  runFolder_ = folder_ + "/run";
  const std::string scratch = folder_ + "/etc-overlay";
  const std::string upper = scratch + "/upper";
  const std::string work = scratch + "/work";
  // The mounts of its namespace, each with the failure that it stands for.
  using Kind = support::MountStep::Kind;
  std::vector<support::MountStep> mounts;
  std::vector<ChildFailure> failures;
  if (!options.anchorsFolder.empty()) {
    // An overlay's upper folder must be on a file system that supports it: a tmpfs is.
    mounts = {
        {.kind = Kind::tmpfs, .target = scratch, .source = "mode=0700"},
        {.kind = Kind::folder, .target = upper},
        {.kind = Kind::folder, .target = work},
        {.kind = Kind::overlay,
         .target = "/etc",
         .source = "lowerdir=/etc,upperdir=" + upper + ",workdir=" + work},
        {.kind = Kind::folder, .target = "/etc/tarnel"},
        {.kind = Kind::folder, .target = "/etc/tarnel/anchors"},
        {.kind = Kind::bind, .target = "/etc/tarnel/anchors", .source = options.anchorsFolder}};
    failures = {kOverlayScratch, kOverlayScratch, kOverlayScratch, kEtcOverlay,
                kAnchorsFolder,  kAnchorsFolder,  kAnchorsMount};
  }
  mounts.push_back({.kind = Kind::bind, .target = "/run", .source = runFolder_});
  failures.push_back(kRunMount);
  // Everything thrown here is a std::exception: the library's and this file's own.
  try {
    std::filesystem::create_directories(runFolder_);
    std::filesystem::create_directories(scratch);

    UniqueFd activated;
    if (options.activation == Activation::socket) {
      auto listening = linux_platform::listenAt(runFolder_ + "/" + options.socketName);
      if (!listening) throw std::runtime_error("cannot listen: " + listening.error().description);
      activated = std::move(*listening);
    }
    inotify_.reset(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!inotify_ || ::inotify_add_watch(inotify_.get(), runFolder_.c_str(), IN_CREATE) < 0) {
      throw std::runtime_error("cannot watch the run folder");
    }
    UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int readyPipe[2];
    int goPipe[2];
    if (!devNull || ::pipe2(readyPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    UniqueFd readyRead(readyPipe[0]);
    UniqueFd readyWrite(readyPipe[1]);
    if (::pipe2(goPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    UniqueFd goRead(goPipe[0]);
    go_.reset(goPipe[1]);

    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<std::string> argumentTexts{options.program};
    argumentTexts.insert(argumentTexts.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> arguments;
    for (auto& text : argumentTexts) arguments.push_back(text.data());
    arguments.push_back(nullptr);
    char listenPid[32] = "LISTEN_PID=";
    char listenFds[] = "LISTEN_FDS=1";
    char path[] = "PATH=/usr/bin:/bin";
    std::vector<char*> environment{path};
    if (activated) {
      environment.push_back(listenPid);
      environment.push_back(listenFds);
    }
    environment.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      // A benchmark that is killed leaves nothing running.
      if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() == 1) ::_exit(kNamespace);
      const auto isolation = support::isolate(mounts);
      switch (isolation.failure) {
        case support::Isolation::Failure::none:
          break;
        case support::Isolation::Failure::namespace_:
          ::_exit(kNamespace);
        case support::Isolation::Failure::privateMounts:
          ::_exit(kPrivateMounts);
        case support::Isolation::Failure::step:
          ::_exit(failures[isolation.step]);
      }
      if (::dup2(devNull.get(), STDIN_FILENO) < 0 || ::dup2(devNull.get(), STDOUT_FILENO) < 0 ||
          ::dup2(devNull.get(), STDERR_FILENO) < 0) {
        ::_exit(kStandardStreams);
      }
      char byte = 'r';
      if (::write(readyWrite.get(), &byte, 1) != 1 || ::read(goRead.get(), &byte, 1) != 1) {
        ::_exit(kHandshake);
      }
      // Only now: descriptor 3 may have been one of the handshake's.
      if (activated && !support::passActivatedSocket(activated.get(), listenPid + 11)) {
        ::_exit(kActivatedSocket);
      }
      ::execve(arguments[0], arguments.data(), environment.data());
      ::_exit(kExec);
    }
    readyWrite.reset();
    char byte = 0;
    if (::read(readyRead.get(), &byte, 1) != 1) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      throw std::runtime_error(std::string("the benchmark's child ") +
                               failureText(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    }
  } catch (const std::exception&) {
    go_.reset();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    throw;
  }
}

IsolatedProgram::~IsolatedProgram() {
  go_.reset();
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

Clock::time_point IsolatedProgram::start() {
  const auto now = Clock::now();
  const char byte = 'g';
  if (::write(go_.get(), &byte, 1) != 1) throw std::runtime_error("cannot let the child go");
  go_.reset();
  return now;
}

void IsolatedProgram::awaitChange(Clock::time_point deadline) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
      info.si_pid == pid_) {
    throw std::runtime_error("the program ended before it listened");
  }
  if (Clock::now() > deadline) throw std::runtime_error("the program did not listen in time");
  pollfd watched{.fd = inotify_.get(), .events = POLLIN, .revents = 0};
  if (::poll(&watched, 1, 50) > 0) {
    alignas(inotify_event) char events[4096];
    while (::read(inotify_.get(), events, sizeof events) > 0) {
    }
  }
}

Clock::time_point IsolatedProgram::waitUntilListening(const std::string& name) {
  const auto address = addressOf(runFolder_ + "/" + name);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!probe) throw std::runtime_error("socket");
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return Clock::now();
    }
    if (errno == ECONNREFUSED) {
      // Bound, not yet listening: a matter of microseconds.
      if (Clock::now() > deadline) throw std::runtime_error("the program did not listen in time");
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    } else {
      awaitChange(deadline);
    }
  }
}

void IsolatedProgram::waitUntilBound(const std::string& name) {
  const auto path = runFolder_ + "/" + name;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  struct stat status {};
  while (::lstat(path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) awaitChange(deadline);
}

long IsolatedProgram::residentKilobytes() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

}  // namespace tarnel::bench
