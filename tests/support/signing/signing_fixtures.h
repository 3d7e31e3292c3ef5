// What the signing tests share: the test signing identity and sample programs made at build time
// (under TARNEL_TEST_SIGNING_DIR), copies of the programs signed as a test asks, and a signed
// program running as a peer that has connected to the test, with the audit token of its
// connection.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/value.h"
#include "platform/linux/code_signing/code_signer.h"
#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unique_fd.h"
#include "tests/support/child_processes.h"
#include "tests/support/temporary_folder.h"

#ifndef TARNEL_TEST_SIGNING_DIR
#error "the build gives signing tests TARNEL_TEST_SIGNING_DIR"
#endif

namespace tarnel::support {

enum class Signer { team, otherTeam, outside };

inline std::string signingPath(const std::string& name) {
  return std::string(TARNEL_TEST_SIGNING_DIR) + "/" + name;
}
inline std::string anchorsFolder() { return signingPath("identity/anchors"); }
inline std::string signerFolder(Signer signer) {
  switch (signer) {
    case Signer::team:
      return signingPath("identity/team");
    case Signer::otherTeam:
      return signingPath("identity/other-team");
    case Signer::outside:
      return signingPath("identity/outside");
  }
  return {};
}
// A sample program: "8.0", "6.9" and "10.0" carry that CFBundleShortVersionString in their
// __info_plist section, "none" carries no section.
inline std::string sampleProgram(const std::string& version) {
  return signingPath("programs/sample-" + version);
}
// The library that an attack loads into a client; it creates the file that
// TARNEL_INJECTION_MARKER names when it runs.
inline std::string injectedLibrary() { return signingPath("programs/libinjected.so"); }
inline std::string infoPlistFile(const std::string& version) {
  return signingPath("info-" + version + ".plist");
}

inline linux_platform::SigningIdentity signingIdentity(Signer signer) {
  const auto folder = signerFolder(signer);
  auto identity = linux_platform::loadSigningIdentity(folder + "/certificate.pem",
                                                      folder + "/key.pem", folder + "/chain.pem");
  if (!identity) throw std::runtime_error(linux_platform::describe(identity.error()));
  return std::move(*identity);
}

inline Bytes fileBytes(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// Installs the program at `path` as every client is installed: owner root, the platform's group,
// set-group-id, so that the kernel starts it sealed.
inline void seal(const std::string& path) {
  const group* platform = ::getgrnam("tarnel");
  // Owner first: a change of owner clears the set-group-id bit.
  if (!platform || ::chown(path.c_str(), 0, platform->gr_gid) != 0 ||
      ::chmod(path.c_str(), 02755) != 0) {
    throw std::runtime_error("cannot seal " + path + " (scripts/setup adds the group tarnel)");
  }
}

// Whether a test's client is installed as clients are, or left as an ordinary program.
enum class Sealing { sealed, ordinary };

// A copy of sample program `version` at `path`, signed as `identifier` by `signer`.
inline std::string signedSample(const std::string& path, const std::string& version,
                                const std::string& identifier, Signer signer = Signer::team,
                                Sealing sealing = Sealing::sealed) {
  std::filesystem::copy_file(sampleProgram(version), path,
                             std::filesystem::copy_options::overwrite_existing);
  const auto result =
      linux_platform::signFile(signingIdentity(signer), {.file = path, .identifier = identifier});
  if (!result) throw std::runtime_error(linux_platform::describe(result.error()));
  if (sealing == Sealing::sealed) seal(path);
  return path;
}

// How a peer is started: added environment entries, a file to map as executable code, whether
// this process traces it, the user it runs as (this test's unless given), how it starts (with
// no_new_privs, under a seccomp filter that makes getuid answer 0, or in a user and pid namespace
// of its own), and what it does before it connects (hardens itself as a client of the helper
// does, leaves itself as it started, makes itself dumpable, or maps anonymous executable memory).
struct PeerOptions {
  std::vector<std::string> environment;
  std::optional<std::string> mappedFile;
  // Traced by this process, or by a process of the peer's own user that starts it.
  enum class Tracing { none, traced, tracedByItsUser } tracing = Tracing::none;
  std::optional<uid_t> user;
  enum class Start { plain, noNewPrivileges, seccompFilter, ownNamespaces } start = Start::plain;
  enum class Behaviour {
    hardened,
    unhardened,
    dumpable,
    anonymousCode
  } behaviour = Behaviour::hardened;
};

// Installs a seccomp filter that answers getuid and geteuid with 0 and lets everything else
// through: what any user may do to a program it starts, given no_new_privs, to make it take its
// user for root. After a fork: only system calls.
inline bool installLyingFilter() {
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getuid, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_geteuid, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
  return ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &filter) == 0;
}

// A program started with a socket path, connected to this process; stopped and reaped when the
// object goes, if the test has not done so.
class RunningPeer {
 public:
  RunningPeer(const std::string& program, const PeerOptions& options = {}) {
    const std::string socketPath = folder_.path("socket");
    listening_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (!listening_ ||
        ::bind(listening_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_.get(), 1) != 0) {
      throw std::runtime_error("cannot listen for the peer");
    }

    // A peer of another user must reach its socket (its folder is open to every user).
    std::filesystem::permissions(socketPath, std::filesystem::perms(0666));
    std::vector<std::string> arguments{program};
    switch (options.behaviour) {
      case PeerOptions::Behaviour::hardened:
        break;
      case PeerOptions::Behaviour::unhardened:
        arguments.push_back("--unhardened");
        break;
      case PeerOptions::Behaviour::dumpable:
        arguments.push_back("--dumpable");
        break;
      case PeerOptions::Behaviour::anonymousCode:
        arguments.push_back("--anonymous-code");
        break;
    }
    arguments.push_back(socketPath);
    if (options.mappedFile) arguments.push_back(*options.mappedFile);
    std::vector<std::string> environment{"PATH=/usr/bin:/bin"};
    // A sanitizer build's settings, which let a preloaded library come before its runtime.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) {
        environment.push_back(std::string(name) + "=" + value);
      }
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const bool traced = options.tracing == PeerOptions::Tracing::traced;
    const pid_t forked = ::fork();
    if (forked < 0) throw std::runtime_error("fork");
    if (forked == 0) {
      if (options.user && (::setgroups(0, nullptr) != 0 ||
                           ::setresgid(*options.user, *options.user, *options.user) != 0 ||
                           ::setresuid(*options.user, *options.user, *options.user) != 0)) {
        ::_exit(125);
      }
      if (traced && ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(126);
      if (options.tracing == PeerOptions::Tracing::tracedByItsUser) {
        // This process, the user's, traces the peer from its exec on, as a debugger would.
        const pid_t tracee = ::fork();
        if (tracee < 0) ::_exit(120);
        if (tracee > 0) {
          int status = 0;
          while (::waitpid(tracee, &status, 0) == tracee && WIFSTOPPED(status)) {
            const int signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
            ::ptrace(PTRACE_CONT, tracee, nullptr, reinterpret_cast<void*>(std::intptr_t{signal}));
          }
          ::_exit(0);
        }
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(119);
      }
      using Start = PeerOptions::Start;
      // A user needs no_new_privs for a filter; root does not.
      if ((options.start == Start::noNewPrivileges ||
           (options.start == Start::seccompFilter && options.user)) &&
          ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        ::_exit(124);
      }
      if (options.start == Start::seccompFilter && !installLyingFilter()) ::_exit(123);
      if (options.start == Start::ownNamespaces) {
        // The peer is the first process of the new pid namespace; this one waits for it.
        if (::unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0) ::_exit(122);
        const pid_t inside = ::fork();
        if (inside < 0) ::_exit(121);
        if (inside > 0) {
          int status = 0;
          ::waitpid(inside, &status, 0);
          ::_exit(0);
        }
      }
      const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
      if (devnull >= 0) ::dup2(devnull, STDERR_FILENO);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    // From here on a throw ends the child: the members are destroyed, the child with them.
    child_ = OwnedChild(forked);
    if (traced) {
      // A traced child stops at its exec until its tracer lets it go on.
      int status = 0;
      if (::waitpid(forked, &status, 0) != forked || !WIFSTOPPED(status) ||
          ::ptrace(PTRACE_CONT, forked, nullptr, nullptr) != 0) {
        throw std::runtime_error("cannot trace the peer");
      }
    }
    accept();
  }
  RunningPeer(const RunningPeer&) = delete;
  RunningPeer& operator=(const RunningPeer&) = delete;

  pid_t pid() const { return child_.pid(); }
  // The 32-byte audit token of the connection, as the kernel recorded it.
  const Bytes& auditToken() const { return token_; }

  // Ends the connection, so that the peer exits, and waits for that exit; with `reaping` the
  // peer is then gone entirely, without it remains a zombie until this object goes.
  enum class Reaping { reap, leaveZombie };
  void endConnection(Reaping reaping) {
    connection_.reset();
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child_.pid()), &info, WEXITED | WNOWAIT), 0);
    if (reaping == Reaping::reap) child_.reap();
  }

 private:
  // Waits for the peer's connection, or for the peer to end without making one.
  void accept() {
    linux_platform::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, child_.pid(), 0)));
    pollfd waits[] = {{listening_.get(), POLLIN, 0}, {pidfd.get(), POLLIN, 0}};
    if (!pidfd || ::poll(waits, 2, -1) <= 0 || !(waits[0].revents & POLLIN)) {
      throw std::runtime_error("the peer ended without connecting");
    }
    connection_.reset(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    const auto token =
        connection_ ? linux_platform::peerAuditToken(connection_.get()) : std::nullopt;
    if (!token) throw std::runtime_error("no audit token for the peer");
    token_ = token->encode();
  }
  TemporaryFolder folder_;
  linux_platform::UniqueFd listening_;
  linux_platform::UniqueFd connection_;
  OwnedChild child_;
  Bytes token_;
};

}  // namespace tarnel::support
