#include "tools/launchctl/service_sockets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/posix/unix_socket.h"

namespace tarnel::launchctl {

std::string socketFolderPath() {
  const char* chosen = std::getenv(kSocketFolderVariable);
  return chosen != nullptr && *chosen != '\0' ? std::string(chosen) : kDefaultSocketFolder;
}

std::expected<ServiceSockets, LaunchctlReason> ServiceSockets::listen(
    const std::string& folder, const std::vector<std::string>& names) {
  ServiceSockets sockets;
  for (const auto& name : names) {
    const std::string path = folder + "/" + name;
    auto socket = linux_platform::listenAt(path);
    if (!socket) {
      return std::unexpected(LaunchctlReason{.kind = LaunchctlReason::Kind::worded,
                                             .detail = socket.error().description});
    }
    // The flag belongs to the socket, which the job shares: a job that accepts expects to wait.
    const int flags = ::fcntl(socket->get(), F_GETFL);
    struct stat status {};
    if (flags < 0 || ::fcntl(socket->get(), F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        ::stat(path.c_str(), &status) != 0) {
      const int error = errno;
      ::unlink(path.c_str());
      return std::unexpected(systemCallFailed(path, error));
    }
    sockets.held_.push_back(Held{.name = name,
                                 .path = path,
                                 .socket = std::move(*socket),
                                 .device = status.st_dev,
                                 .inode = status.st_ino});
  }
  return sockets;
}

std::vector<int> ServiceSockets::descriptors() const {
  std::vector<int> descriptors;
  for (const auto& held : held_) descriptors.push_back(held.socket.get());
  return descriptors;
}

std::vector<std::string> ServiceSockets::names() const {
  std::vector<std::string> names;
  for (const auto& held : held_) names.push_back(held.name);
  return names;
}

void ServiceSockets::close() {
  for (auto& held : held_) {
    struct stat status {};
    if (::lstat(held.path.c_str(), &status) == 0 && status.st_dev == held.device &&
        status.st_ino == held.inode) {
      ::unlink(held.path.c_str());
    }
  }
  held_.clear();
}

}  // namespace tarnel::launchctl
