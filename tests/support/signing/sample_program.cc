// A small program for the signing tests to sign and run as a peer: with a socket path it connects
// there and waits until the other end closes; with a second path it first maps that file as
// executable code, as an injected library would be. Before it connects it hardens itself, as a
// client of the helper does, unless its first argument says otherwise: --unhardened leaves it as
// it started, --dumpable makes it dumpable, --anonymous-code maps executable anonymous memory, as
// code written at run time would be.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#ifdef TARNEL_INFO_PLIST
// The information dictionary, embedded where the platform looks for it.
asm(".pushsection __info_plist,\"a\"\n.incbin \"" TARNEL_INFO_PLIST "\"\n.popsection");
#endif

int main(int argc, char** argv) {
  const char* mode = argc > 1 && std::strncmp(argv[1], "--", 2) == 0 ? argv[1] : "";
  if (*mode) {
    --argc;
    ++argv;
  }
  if (argc < 2) return 0;
  if (argc > 2) {
    const int code = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    if (code < 0 ||
        ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE, code, 0) == MAP_FAILED) {
      return 3;
    }
  }
  if (std::strcmp(mode, "--anonymous-code") == 0 &&
      ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) ==
          MAP_FAILED) {
    return 7;
  }
  if (std::strcmp(mode, "--unhardened") != 0 &&
      ::prctl(PR_SET_DUMPABLE, std::strcmp(mode, "--dumpable") == 0 ? 1 : 0) != 0) {
    return 6;
  }
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (server < 0 || std::strlen(argv[1]) >= sizeof address.sun_path) return 4;
  std::strcpy(address.sun_path, argv[1]);
  if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 5;
  char byte = 0;
  while (::read(server, &byte, 1) > 0) {
  }
  return 0;
}
