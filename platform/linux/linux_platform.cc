#include "platform/linux/linux_platform.h"

#include <malloc.h>

namespace tarnel::linux_platform {

namespace {

// Buffers at least this large are mapped for themselves and unmapped when freed: glibc's own
// starting threshold, kept fixed.
constexpr int kMappedBufferSize = 128 * 1024;

// Peers send frames of up to 16 MiB whenever they like. Left to itself, glibc raises its mapping
// threshold once it frees the first such buffer and keeps later ones in its arenas, one per
// connection thread, so that the process stayed near its peak for good. With the threshold fixed,
// every large buffer goes back to the system as soon as it is freed.
void returnLargeBuffersWhenFreed() {
  // Failing, it changes nothing: the process keeps glibc's behaviour, which works but holds more.
  [[maybe_unused]] const int set = ::mallopt(M_MMAP_THRESHOLD, kMappedBufferSize);
}

}  // namespace

LinuxPlatform::LinuxPlatform() { returnLargeBuffersWhenFreed(); }

}  // namespace tarnel::linux_platform
