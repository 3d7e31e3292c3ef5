// What the load and fault tests run: the built daemon, signed, started by socket activation in a
// mount namespace of its own, in which /etc/tarnel/anchors holds the test anchor and
// /bin/launchctl is the test's script; and signed clients, played by load-client (load_client.cc),
// whose printed lines the tests judge.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/code_signing/code_signer.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/posix/unix_socket.h"
#include "tests/support/child_processes.h"
#include "tests/support/eventually.h"
#include "tests/support/isolation.h"
#include "tests/support/run_program.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::support::load {

namespace fs = std::filesystem;
using linux_platform::UniqueFd;

inline constexpr const char* kHelperLabel = "com.quorvant.TarnelX8Helper";
// Command lines and environments as execve takes them; the strings must outlive the use.
inline std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& string : strings) pointers.push_back(string.data());
  pointers.push_back(nullptr);
  return pointers;
}

// A copy of `program` at `path` without its debugging sections (the daemon hashes its own code
// for each request, and each client's for each connection), signed by the test team.
inline void signedCopy(const std::string& program, const std::string& path,
                       const std::string& identifier, std::optional<Bytes> infoPlist = {}) {
  if (runProgram({TARNEL_OBJCOPY_PROGRAM, "--strip-debug", program, path},
                 {.streams = RunOptions::Streams::none})
          .status != 0) {
    throw std::runtime_error("cannot copy " + program);
  }
  const auto signedFile = linux_platform::signFile(
      signingIdentity(Signer::team),
      {.file = path, .identifier = identifier, .infoPlist = std::move(infoPlist)});
  if (!signedFile) throw std::runtime_error(linux_platform::describe(signedFile.error()));
}

// Makes the calling process `user`'s, with that user's id as its group and no other group.
inline bool becomeUser(uid_t user) {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(user, user, user) == 0 &&
         ::setresuid(user, user, user) == 0;
}

// What a process holds, from /proc.
struct ProcessUse {
  std::size_t threads = 0;
  std::size_t descriptors = 0;
  std::size_t residentKiB = 0;
  std::size_t peakResidentKiB = 0;  // the most it has held since it started
};

inline std::optional<ProcessUse> processUse(pid_t pid) {
  const auto folder = "/proc/" + std::to_string(pid);
  ProcessUse use;
  std::ifstream status(folder + "/status");
  for (std::string line; std::getline(status, line);) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "Threads:") fields >> use.threads;
    if (key == "VmRSS:") fields >> use.residentKiB;
    if (key == "VmHWM:") fields >> use.peakResidentKiB;
  }
  std::error_code error;
  for (fs::directory_iterator entry(folder + "/fd", error), end; !error && entry != end;
       entry.increment(error)) {
    ++use.descriptors;
  }
  if (use.threads == 0 || error) return std::nullopt;
  return use;
}

// The information dictionary of the editor that load-client plays (scripts/info-plist).
inline Bytes editorInfoPlist() { return fileBytes(TARNEL_EDITOR_INFO_PLIST); }

struct DaemonOptions {
  // The body of the shell script that the daemon finds at /bin/launchctl; in it, @FOLDER@ stands
  // for the test's folder.
  std::string launchctl = "exit 0\n";
  // For a test that measures the daemon's memory: AddressSanitizer then frees at once instead of
  // holding freed memory in quarantine (up to 256 MiB, to catch later uses) where it would count
  // as the daemon's.
  enum class Memory { asBuilt, measured } memory = Memory::asBuilt;
  // Its limit on open descriptors, soft and hard, as a service manager may set it; none to
  // inherit the test's.
  std::optional<rlim_t> descriptorLimit;
};

class SignedDaemon {
 public:
  explicit SignedDaemon(DaemonOptions options = {}) {
    auto& launchctl = options.launchctl;
    const auto overlay = folder_.folder("overlay");
    folder_.folder("overlay/etc/tarnel/anchors");
    fs::copy_file(anchorsFolder() + "/root.pem", overlay + "/etc/tarnel/anchors/root.pem");
    folder_.folder("overlay/bin");
    for (std::size_t at; (at = launchctl.find("@FOLDER@")) != std::string::npos;) {
      launchctl.replace(at, 8, folder_.root());
    }
    folder_.script("overlay/bin/launchctl", launchctl);

    daemon_ = folder_.path(kHelperLabel);
    signedCopy(TARNEL_DAEMON_PATH, daemon_, kHelperLabel);
    signedCopy(TARNEL_LOAD_CLIENT_PATH, clientProgram(), "com.quorvant.TarnelX8",
               editorInfoPlist());
    seal(clientProgram());
    signedCopy(TARNEL_LOAD_CLIENT_PATH, ordinaryClientProgram(), "com.quorvant.TarnelX8",
               editorInfoPlist());

    auto socket = linux_platform::listenAt(socketPath());
    if (!socket) throw std::runtime_error(socket.error().description);
    start(socket->get(), overlay, options);
  }
  ~SignedDaemon() { stop(); }
  SignedDaemon(const SignedDaemon&) = delete;
  SignedDaemon& operator=(const SignedDaemon&) = delete;

  // Ends the daemon and every process it started (they share its process group), and reaps it.
  void stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    reap(std::exchange(pid_, -1));
  }

  const TemporaryFolder& folder() const { return folder_; }
  std::string socketPath() const { return folder_.path(kHelperLabel) + ".socket"; }
  std::string clientProgram() const { return folder_.path("editor"); }
  // The same signed program installed as an ordinary one, not sealed: what an attack is first
  // shown to work against.
  std::string ordinaryClientProgram() const { return folder_.path("ordinary-editor"); }
  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  // Waits for it to end by itself: its exit status, or -1 when a signal ended it.
  int waitForExit() {
    const int status = reap(std::exchange(pid_, -1));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Its standard output and error.
  std::string log() const { return contentsOf(folder_.path("daemon.log")); }

  // Stops and continues it, so that connections wait in the listening socket's queue meanwhile.
  void pause() const { ::kill(pid_, SIGSTOP); }
  void resume() const { ::kill(pid_, SIGCONT); }

  ProcessUse use() const {
    const auto use = processUse(pid_);
    if (!use) throw std::runtime_error("the daemon is gone");
    return *use;
  }
  // Its use once two readings a moment apart agree on its threads and descriptors: what it holds
  // at rest. Read too early it errs high, which only makes settlesTo easier to pass.
  ProcessUse restingUse() const {
    ProcessUse last = use();
    ProcessUse now;
    eventually([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      now = use();
      const bool same = now.threads == last.threads && now.descriptors == last.descriptors;
      last = now;
      return same;
    });
    return now;
  }
  // Waits until it holds no more threads and descriptors than `idle`: every connection ended
  // and released. False, with the last reading in `seen`, if that never happens.
  bool settlesTo(const ProcessUse& idle, ProcessUse& seen) const {
    return eventually([&] {
      seen = use();
      return seen.threads <= idle.threads && seen.descriptors <= idle.descriptors;
    });
  }

 private:
  void start(int socket, const std::string& overlay, const DaemonOptions& options) {
    std::vector<std::string> arguments{daemon_};
    std::vector<std::string> environment{"LISTEN_PID=0000000000", "LISTEN_FDS=1",
                                         "PATH=/usr/bin:/bin"};
    for (const std::string name :
         {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"}) {
      const char* value = std::getenv(name.c_str());
      std::string entry = name + "=" + (value ? value : "");
      if (name == "ASAN_OPTIONS" && options.memory == DaemonOptions::Memory::measured) {
        entry += ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
      }
      environment.push_back(entry);
    }
    auto argv = pointersTo(arguments);
    auto envp = pointersTo(environment);
    const std::vector<MountStep> mounts{
        {.kind = MountStep::Kind::overlay,
         .target = "/etc",
         .source = "lowerdir=" + overlay + "/etc:/etc",
         .flags = MS_RDONLY},
        {.kind = MountStep::Kind::overlay,
         .target = "/usr/bin",
         .source = "lowerdir=" + overlay + "/bin:/usr/bin",
         .flags = MS_RDONLY},
    };
    const auto logPath = folder_.path("daemon.log");
    const rlimit descriptors{.rlim_cur = options.descriptorLimit.value_or(0),
                             .rlim_max = options.descriptorLimit.value_or(0)};
    // After the fork only async-signal-safe calls: everything is made before it.
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (::setpgid(0, 0) != 0 || !isolate(mounts) || log < 0 || ::dup2(log, STDOUT_FILENO) < 0 ||
          ::dup2(log, STDERR_FILENO) < 0) {
        ::_exit(120);
      }
      if (options.descriptorLimit && ::setrlimit(RLIMIT_NOFILE, &descriptors) != 0) ::_exit(122);
      if (!passActivatedSocket(socket, envp[0] + std::strlen("LISTEN_PID="))) ::_exit(121);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    // Also here, so that the group exists before anything is signalled.
    ::setpgid(pid_, pid_);
  }

  TemporaryFolder folder_;
  std::string daemon_;
  pid_t pid_ = -1;
};

// A connection made before the client program is executed, by this test program (unsigned), and
// what it sends on it first; the program finds it as descriptor 3.
struct MadeBeforeExec {
  std::string socketPath;
  Bytes sentFirst;
};

// load-client, signed and sealed unless asked otherwise, running with `arguments` (as `user` when
// one is given): its standard input a pipe that release() closes, its standard output read line by
// line. Killed and reaped when the object goes.
class Client {
 public:
  Client(const SignedDaemon& daemon, std::vector<std::string> arguments,
         const std::optional<MadeBeforeExec>& connection = {},
         std::optional<uid_t> user = std::nullopt, Sealing sealing = Sealing::sealed) {
    arguments.insert(arguments.begin(), sealing == Sealing::sealed
                                            ? daemon.clientProgram()
                                            : daemon.ordinaryClientProgram());
    auto argv = pointersTo(arguments);
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    input_.reset(input[1]);
    UniqueFd childInput(input[0]);
    if (::pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    output_.reset(output[0]);
    UniqueFd childOutput(output[1]);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    Bytes first;  // as one frame
    if (connection) {
      std::strncpy(address.sun_path, connection->socketPath.c_str(), sizeof address.sun_path - 1);
      if (const auto length = connection->sentFirst.size(); length > 0) {
        first = {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                 static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
        first.insert(first.end(), connection->sentFirst.begin(), connection->sentFirst.end());
      }
    }
    const pid_t forked = ::fork();
    if (forked < 0) throw std::runtime_error("fork failed");
    if (forked == 0) {
      if (::dup2(childInput.get(), STDIN_FILENO) < 0 ||
          ::dup2(childOutput.get(), STDOUT_FILENO) < 0) {
        ::_exit(120);
      }
      if (user && !becomeUser(*user)) ::_exit(124);
      if (connection) {
        // Inherited across the exec on purpose, as an attacker's connection would be.
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (socket < 0 ||
            ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
          ::_exit(121);
        }
        if (!first.empty() && ::send(socket, first.data(), first.size(), MSG_NOSIGNAL) !=
                                  static_cast<ssize_t>(first.size())) {
          ::_exit(122);
        }
        if (socket != 3 && (::dup2(socket, 3) < 0 || ::close(socket) != 0)) ::_exit(123);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    child_ = OwnedChild(forked);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  pid_t pid() const { return child_.pid(); }

  // The next line it prints, without its newline; nothing when it ends first.
  std::optional<std::string> line() {
    for (;;) {
      if (const auto end = buffered_.find('\n'); end != std::string::npos) {
        auto line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return line;
      }
      if (!readMore()) return std::nullopt;
    }
  }
  // Everything it prints from here until it ends, once it has ended and been reaped.
  std::string rest() {
    while (readMore()) {
    }
    reap();
    return std::exchange(buffered_, {});
  }
  // Whether it has printed anything not read yet, without waiting.
  bool printedMore() {
    pollfd ready{.fd = output_.get(), .events = POLLIN};
    return !buffered_.empty() || (::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0);
  }
  // Ends its standard input: a silent or holding client leaves.
  void release() { input_.reset(); }

  // Waits until it has exited, and reaps it or leaves it a zombie.
  enum class Reaping { reap, leaveZombie };
  void waitForExit(Reaping reaping) {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(child_.pid()), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    if (reaping == Reaping::reap) reap();
  }

 private:
  bool readMore() {
    char chunk[4096];
    for (;;) {
      const auto got = ::read(output_.get(), chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      buffered_.append(chunk, static_cast<std::size_t>(got));
      return true;
    }
  }
  void reap() {
    if (child_) child_.reap();
  }

  UniqueFd input_;
  UniqueFd output_;
  std::string buffered_;
  OwnedChild child_;
};

}  // namespace tarnel::support::load
