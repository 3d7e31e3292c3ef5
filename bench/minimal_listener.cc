// The baseline of the daemon's start: a program that loads the libraries the daemon loads,
// listens on the Unix socket path it is given, and waits until it is ended.
#include <cbor.h>
#include <openssl/crypto.h>
#include <plist/plist.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utf8proc.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2 || std::strlen(argv[1]) >= sizeof(sockaddr_un::sun_path)) {
    std::fprintf(stderr, "usage: minimal-listener SOCKET-PATH\n");
    return 64;
  }
  // One call into each library, so that the program needs every one of them, as the daemon does.
  unsigned char head[1];
  const bool linked = OpenSSL_version_num() != 0 && utf8proc_version() != nullptr &&
                      cbor_encode_uint8(0, head, sizeof head) == 1;
  plist_t list = plist_new_dict();
  plist_free(list);
  const std::string path = argv[1];
  const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (!linked || listening < 0 ||
      ::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0666) != 0 || ::listen(listening, SOMAXCONN) != 0) {
    std::perror("minimal-listener");
    return 1;
  }
  for (;;) ::pause();
}
