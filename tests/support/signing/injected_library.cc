// A library that an attack loads into a client through the loader: it proves that its code ran
// inside the client by creating the file that TARNEL_INJECTION_MARKER names.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

__attribute__((constructor)) void announceInjection() {
  const char* marker = std::getenv("TARNEL_INJECTION_MARKER");
  if (marker == nullptr) return;
  const int file = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (file >= 0) ::close(file);
}

}  // namespace
