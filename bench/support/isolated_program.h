// A program started as the platform starts the daemon, but in a mount namespace of its own in
// which /etc/tarnel/anchors holds the benchmark's trust anchors and /run (so /var/run) is a folder
// of the benchmark's: nothing on the host changes. The child is held just before its exec until
// start() lets it go, so that a measurement begins at the exec, not at the namespace's set-up.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::bench {

using Clock = std::chrono::steady_clock;

class IsolatedProgram {
 public:
  enum class Activation {
    none,    // the program binds its socket itself
    socket,  // socket activation: a socket listening at /var/run/<socketName> is descriptor 3
  };
  struct Options {
    std::string program;
    std::vector<std::string> arguments;  // after argv[0]
    std::string anchorsFolder;           // empty: /etc/tarnel is the host's (it has none)
    Activation activation = Activation::none;
    std::string socketName;  // for Activation::socket
  };

  // Sets the child up and holds it; throws std::runtime_error when that fails.
  explicit IsolatedProgram(const Options& options);
  // Ends the child (SIGTERM), reaps it and removes the benchmark's folder.
  ~IsolatedProgram();
  IsolatedProgram(const IsolatedProgram&) = delete;
  IsolatedProgram& operator=(const IsolatedProgram&) = delete;

  // Lets the child exec its program; the moment it was let go.
  Clock::time_point start();
  // Waits until a connection to /var/run/<name> succeeds and closes it at once; the moment it
  // succeeded. Throws when the program ends first or 10 seconds pass.
  Clock::time_point waitUntilListening(const std::string& name);
  // Waits until the socket file /var/run/<name> exists, without connecting. Throws as above.
  void waitUntilBound(const std::string& name);

  // What /var/run is inside, seen from outside.
  const std::string& runFolder() const { return runFolder_; }
  pid_t pid() const { return pid_; }
  // The child's resident set size (VmRSS), in kB; 0 when it cannot be read.
  long residentKilobytes() const;

 private:
  // Waits for something to be created in the run folder, or for 50 ms; throws when the child
  // has ended or the deadline has passed.
  void awaitChange(Clock::time_point deadline);

  std::string folder_;
  std::string runFolder_;
  pid_t pid_ = -1;
  // The writing end of a pipe: one byte lets the child exec; closing it ends the child.
  linux_platform::UniqueFd go_;
  // Watches the run folder for the socket file.
  linux_platform::UniqueFd inotify_;
};

}  // namespace tarnel::bench
