// A library for the loader attack: when the dynamic loader brings it into a process (LD_PRELOAD),
// it creates the file that TARNEL_E2E_MARKER names, so a test sees whether it was loaded.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

__attribute__((constructor)) void markLoaded() {
  const char* marker = std::getenv("TARNEL_E2E_MARKER");
  if (!marker) return;
  const int fd = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

}  // namespace
