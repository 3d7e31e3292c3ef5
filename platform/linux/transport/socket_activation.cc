#include "platform/linux/transport/socket_activation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "platform/linux/posix/number_parsing.h"
#include "platform/linux/posix/unix_socket.h"

namespace tarnel::linux_platform {

namespace {

// More than any service manager passes; a larger count is not believed.
constexpr int kMaximumActivatedSockets = 64;

template <class Number>
std::optional<Number> decimal(const char* text) {
  if (text == nullptr) return std::nullopt;
  return parseNumber<Number>(text);
}

bool prepare(int fd) {
  const int descriptorFlags = ::fcntl(fd, F_GETFD);
  const int statusFlags = ::fcntl(fd, F_GETFL);
  return descriptorFlags >= 0 && statusFlags >= 0 &&
         ::fcntl(fd, F_SETFD, descriptorFlags | FD_CLOEXEC) == 0 &&
         ::fcntl(fd, F_SETFL, statusFlags | O_NONBLOCK) == 0;
}

}  // namespace

int activatedSocketCount(const char* listenPid, const char* listenFds, pid_t self) {
  const auto pid = decimal<pid_t>(listenPid);
  const auto count = decimal<int>(listenFds);
  if (!pid || *pid != self || !count || *count < 0 || *count > kMaximumActivatedSockets) return 0;
  return *count;
}

std::vector<std::string> activatedSocketNames(const char* listenFdNames, int count) {
  std::vector<std::string> names(static_cast<std::size_t>(count));
  if (listenFdNames == nullptr) return names;
  std::string_view rest(listenFdNames);
  for (auto& name : names) {
    const auto colon = rest.find(':');
    name = rest.substr(0, colon);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return names;
}

std::vector<ActivatedSocket> takeActivatedSockets() {
  std::vector<ActivatedSocket> sockets;
  const int count =
      activatedSocketCount(std::getenv("LISTEN_PID"), std::getenv("LISTEN_FDS"), ::getpid());
  const auto names = activatedSocketNames(std::getenv("LISTEN_FDNAMES"), count);
  for (const char* variable : {"LISTEN_PID", "LISTEN_FDS", "LISTEN_FDNAMES"}) ::unsetenv(variable);
  for (int i = 0; i < count; ++i) {
    UniqueFd socket(kFirstActivatedFd + i);
    if (!isListeningUnixStreamSocket(socket.get()) || !prepare(socket.get())) continue;
    sockets.push_back(ActivatedSocket{std::move(socket), names[static_cast<std::size_t>(i)]});
  }
  return sockets;
}

}  // namespace tarnel::linux_platform
