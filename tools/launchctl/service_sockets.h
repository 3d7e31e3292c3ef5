// The listening sockets of a job's MachServices, which launchd's side holds while the job is
// loaded: one for each service name, at the name in the socket folder, which tests move
// elsewhere through an environment variable.
#pragma once

#include <sys/types.h>

#include <expected>
#include <string>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

inline constexpr const char* kDefaultSocketFolder = "/var/run";
inline constexpr const char* kSocketFolderVariable = "LAUNCHCTL_SOCKET_DIR";

// The folder named by LAUNCHCTL_SOCKET_DIR when it is set and not empty, else the fixed one.
std::string socketFolderPath();

class ServiceSockets {
 public:
  // A socket listening at `folder`/NAME for each of `names`, open to every user (a service judges
  // its clients itself) and blocking, as a service manager passes sockets on. A socket file that
  // no listener answers at any more is replaced. Why not when one cannot be made; those made
  // before it are closed and removed again.
  static std::expected<ServiceSockets, LaunchctlReason> listen(
      const std::string& folder, const std::vector<std::string>& names);

  ServiceSockets() = default;
  ServiceSockets(ServiceSockets&&) = default;
  ServiceSockets& operator=(ServiceSockets&&) = delete;
  ~ServiceSockets() { close(); }

  bool empty() const { return held_.empty(); }
  // In the order of the names given.
  std::vector<int> descriptors() const;
  std::vector<std::string> names() const;

  // Closes the sockets, so that no client reaches the job through them any more, and removes
  // each socket file that is still the one made here (not one that another listener has made at
  // the path since).
  void close();

 private:
  struct Held {
    std::string name;
    std::string path;
    linux_platform::UniqueFd socket;
    dev_t device = 0;
    ino_t inode = 0;
  };

  std::vector<Held> held_;
};

}  // namespace tarnel::launchctl
