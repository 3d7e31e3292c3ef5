// A job for the launchctl tests, started by socket activation. It pauses for PAUSE milliseconds,
// as a program that takes its time to start, then answers each client of its passed sockets with
// one line, "PID LISTEN_FDNAMES", until none has waited for a fifth of a second; then it exits.
// It serves nobody unless LISTEN_PID names it and LISTEN_FDS counts the sockets it was given.
//   activated-job PAUSE
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kFirstPassedDescriptor = 3;
constexpr int kIdleMilliseconds = 200;

}  // namespace

int main(int argc, char** argv) {
  const char* pid = std::getenv("LISTEN_PID");
  const char* count = std::getenv("LISTEN_FDS");
  const char* names = std::getenv("LISTEN_FDNAMES");
  if (argc != 2 || pid == nullptr || count == nullptr || names == nullptr ||
      std::to_string(::getpid()) != pid) {
    return 2;
  }
  std::vector<pollfd> sockets;
  for (int i = 0; i < std::atoi(count); ++i) {
    sockets.push_back({.fd = kFirstPassedDescriptor + i, .events = POLLIN, .revents = 0});
  }
  ::usleep(static_cast<useconds_t>(std::atoi(argv[1])) * 1000);
  const std::string answer = std::string(pid) + " " + names + "\n";
  while (::poll(sockets.data(), sockets.size(), kIdleMilliseconds) > 0) {
    for (auto& socket : sockets) {
      if (socket.revents == 0) continue;
      const int client = ::accept(socket.fd, nullptr, nullptr);
      if (client < 0) return 3;
      if (::write(client, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) {
        return 4;
      }
      ::close(client);
    }
  }
  return 0;
}
