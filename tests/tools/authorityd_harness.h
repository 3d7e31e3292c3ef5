// What tests of the authorization server need around it: programs started as
// children (optionally in a mount namespace of their own, so that files of the host can be
// replaced for them alone), a running authorityd, and creator processes of any user.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/authorization.h"
#include "platform/linux/authorization/client.h"
#include "platform/linux/posix/unique_fd.h"
#include "tests/support/child_processes.h"
#include "tests/support/isolation.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::support::authorityd {

namespace fs = std::filesystem;
using support::TemporaryFolder;

inline constexpr const char* kRight = "com.quorvant.TarnelX8";
inline constexpr uid_t kNobody = 65534;
inline constexpr uid_t kDaemonUser = 1;
inline void writeFile(const fs::path& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::trunc) << text;
  fs::permissions(path, static_cast<fs::perms>(mode));
}

// A program of this build, beside the test programs: <build>/bin/NAME.
inline fs::path builtProgram(const std::string& name) {
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / name;
}

// The source tree, for the resources that the project ships.
inline fs::path sourceTree() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

inline bool socketAnswers(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  linux_platform::UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

struct ChildSetup {
  std::vector<std::pair<fs::path, fs::path>> bindMounts;  // what to mount over which path
  std::vector<std::pair<std::string, std::string>> environment;
  fs::path output = "/dev/null";  // standard output and error
};

// A program started as a child, ended with SIGTERM and reaped when the object goes.
class ChildProgram {
 public:
  ChildProgram(const std::vector<std::string>& arguments, const ChildSetup& setup) {
    std::vector<MountStep> mounts;
    for (const auto& [source, target] : setup.bindMounts) {
      mounts.push_back({.kind = MountStep::Kind::bind, .target = target, .source = source});
    }
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) runChild(arguments, setup, mounts);
  }
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;
  ~ChildProgram() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }
  bool running() const { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  [[noreturn]] static void runChild(const std::vector<std::string>& arguments,
                                    const ChildSetup& setup, const std::vector<MountStep>& mounts) {
    if (!mounts.empty()) {
      const auto isolation = isolate(mounts);
      if (isolation.failure == Isolation::Failure::step) ::_exit(121);
      if (!isolation) ::_exit(120);
    }
    for (const auto& [name, value] : setup.environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int output = ::open(setup.output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (output < 0 || ::dup2(output, STDOUT_FILENO) < 0 || ::dup2(output, STDERR_FILENO) < 0) {
      ::_exit(122);
    }
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }

  pid_t pid_ = -1;
};

// The most memory process `pid` has held since it started, in KiB (VmHWM); 0 if unknown.
inline std::size_t peakResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  std::size_t value = 0;
  while (status >> key) {
    if (key == "VmHWM:" && status >> value) return value;
  }
  return 0;
}

// authorityd on a socket and a rules folder of a temporary folder; its log is kept there too.
class Authorityd {
 public:
  explicit Authorityd(const fs::path& folder, std::vector<std::string> extraArguments = {},
                      ChildSetup setup = {})
      : folder_(folder) {
    fs::create_directories(rulesFolder());
    fs::permissions(rulesFolder(), static_cast<fs::perms>(0755));
    std::vector<std::string> arguments = {builtProgram("authorityd").string(), "--socket",
                                          socketPath().string(), "--rules", rulesFolder().string()};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    setup.output = folder / "authorityd.log";
    program_.emplace(arguments, setup);
    if (!eventually([&] { return socketAnswers(socketPath()) || !program_->running(); }) ||
        !program_->running()) {
      throw std::runtime_error("authorityd did not start: " + contentsOf(setup.output));
    }
  }

  fs::path socketPath() const { return folder_ / "authorityd.socket"; }
  fs::path rulesFolder() const { return folder_ / "rules"; }
  std::string log() const { return contentsOf(folder_ / "authorityd.log"); }
  pid_t pid() const { return program_->pid(); }
  void writeRule(const std::string& right, const std::string& text, mode_t mode = 0644) const {
    writeFile(rulesFolder() / right, text, mode);
  }

 private:
  fs::path folder_;
  std::optional<ChildProgram> program_;
};

// What a creator does with its authorization before it hands the external form over.
enum class CreatorStep { none, obtainRight, freeIt };

// A process that creates an authorization as `user`, hands its external form to the test and
// keeps the authorization until it is told to leave; meanwhile it asks for rights when told.
class Creator {
 public:
  Creator(const fs::path& socketPath, uid_t user, CreatorStep step = CreatorStep::none) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(toChild[1]);
      ::close(fromChild[0]);
      runChild(socketPath, user, step, toChild[0], fromChild[1]);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    commands_.reset(toChild[1]);
    answers_.reset(fromChild[0]);
    OSStatus status = errAuthorizationInternal;
    AuthorizationExternalForm form{};
    if (readAll(answers_.get(), &status, sizeof status) &&
        readAll(answers_.get(), form.data(), form.size()) && status == errAuthorizationSuccess) {
      form_ = form;
    }
  }
  Creator(const Creator&) = delete;
  Creator& operator=(const Creator&) = delete;
  ~Creator() { leave(); }

  pid_t pid() const { return pid_; }
  // The external form it handed over; nothing when it could not make one.
  const std::optional<AuthorizationExternalForm>& form() const { return form_; }

  // AuthorizationCopyRights for the one right, asked by the creator itself.
  OSStatus copyRight(const std::string& right, AuthorizationFlags flags) {
    return command('c', right, flags);
  }
  OSStatus free(AuthorizationFlags flags) { return command('f', "", flags); }

  enum class Ending { reaped, zombie };
  // Ends the process, and reaps it or leaves it a zombie.
  void end(Ending ending) {
    commands_.reset();
    if (ending == Ending::reaped)
      leave();
    else
      eventually([&] { return processEnded(pid_); });
  }

 private:
  static bool readAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
      const ssize_t got = ::read(fd, bytes, size);
      if (got <= 0) return false;
      bytes += got;
      size -= static_cast<std::size_t>(got);
    }
    return true;
  }

  OSStatus command(char operation, const std::string& right, AuthorizationFlags flags) {
    std::string message(1, operation);
    message.append(reinterpret_cast<const char*>(&flags), sizeof flags);
    message.append(right).push_back('\n');
    OSStatus status = errAuthorizationInternal;
    if (::write(commands_.get(), message.data(), message.size()) !=
            static_cast<ssize_t>(message.size()) ||
        !readAll(answers_.get(), &status, sizeof status)) {
      return errAuthorizationInternal;
    }
    return status;
  }

  [[noreturn]] static void runChild(const fs::path& socketPath, uid_t user, CreatorStep step,
                                    int commands, int answers) {
    // What it inherited of other creators, such as the ends of their pipes, must not keep them
    // waiting: all but its own two pipes and the standard streams go.
    const auto [low, high] = std::minmax(commands, answers);
    ::close_range(3, static_cast<unsigned>(low) - 1, 0);
    ::close_range(static_cast<unsigned>(low) + 1, static_cast<unsigned>(high) - 1, 0);
    ::close_range(static_cast<unsigned>(high) + 1, ~0U, 0);
    if (user != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(user, user, user) != 0 ||
                      ::setresuid(user, user, user) != 0)) {
      ::_exit(120);
    }
    auto authorization = linux_platform::AuthorizationClient::create(socketPath.string());
    OSStatus status = authorization ? errAuthorizationSuccess : authorization.error();
    AuthorizationExternalForm form{};
    if (authorization) {
      if (const auto made = authorization->makeExternalForm())
        form = *made;
      else
        status = made.error();
      if (step == CreatorStep::obtainRight && status == errAuthorizationSuccess) {
        status = authorization->copyRights(
            {AuthorizationItem{.name = kRight}},
            kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
      }
      if (step == CreatorStep::freeIt && status == errAuthorizationSuccess) {
        status = authorization->free(kAuthorizationFlagDefaults);
      }
    }
    if (::write(answers, &status, sizeof status) != sizeof status ||
        ::write(answers, form.data(), form.size()) != static_cast<ssize_t>(form.size())) {
      ::_exit(121);
    }
    // Commands: an operation letter, the flags, the right's name and a newline.
    char operation = 0;
    while (readAll(commands, &operation, 1)) {
      AuthorizationFlags flags = 0;
      std::string right;
      char c = 0;
      if (!readAll(commands, &flags, sizeof flags)) break;
      while (readAll(commands, &c, 1) && c != '\n') right.push_back(c);
      OSStatus answer = errAuthorizationInternal;
      if (authorization) {
        answer = operation == 'c'
                     ? authorization->copyRights({AuthorizationItem{.name = right}}, flags)
                     : authorization->free(flags);
      }
      if (::write(answers, &answer, sizeof answer) != sizeof answer) break;
    }
    ::_exit(0);
  }

  void leave() {
    if (pid_ <= 0) return;
    commands_.reset();
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
  linux_platform::UniqueFd commands_;
  linux_platform::UniqueFd answers_;
  std::optional<AuthorizationExternalForm> form_;
};

}  // namespace tarnel::support::authorityd
