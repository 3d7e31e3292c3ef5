// What a test can learn of the child processes of this process from /proc, to show that none is
// left behind, not even as a zombie.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/eventually.h"

namespace tarnel::support {

// The ids of the processes whose parent is this process, zombies included.
inline std::vector<pid_t> childProcesses() {
  std::vector<pid_t> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const auto name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // The command name in parentheses may hold blanks; the fields after it are fixed.
    const auto afterName = line.rfind(')');
    if (afterName == std::string::npos) continue;
    std::istringstream fields(line.substr(afterName + 1));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == ::getpid()) children.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return children;
}

// Whether process `pid` has ended, reaped or not.
inline bool processEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  // The name before the state is in parentheses and may hold ") " itself.
  const auto state = line.rfind(") ");
  return state != std::string::npos && (line[state + 2] == 'Z' || line[state + 2] == 'X');
}

// Waits for child `pid` to end and reaps it: its wait status.
inline int reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// A child process of this one: killed (SIGKILL) and reaped when the object goes, unless it has
// been reaped before.
class OwnedChild {
 public:
  OwnedChild() = default;
  explicit OwnedChild(pid_t pid) : pid_(pid) {}
  OwnedChild(OwnedChild&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
  OwnedChild& operator=(OwnedChild&& other) noexcept {
    end();
    pid_ = std::exchange(other.pid_, -1);
    return *this;
  }
  ~OwnedChild() { end(); }

  pid_t pid() const { return pid_; }
  explicit operator bool() const { return pid_ > 0; }
  // Waits for it to end by itself and reaps it: its wait status.
  int reap() { return support::reap(std::exchange(pid_, -1)); }
  void end() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    reap();
  }

 private:
  pid_t pid_ = -1;
};

inline bool processExists(pid_t pid) {
  return std::filesystem::exists("/proc/" + std::to_string(pid));
}

}  // namespace tarnel::support
