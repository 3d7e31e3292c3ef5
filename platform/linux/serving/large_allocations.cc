#include "platform/linux/serving/large_allocations.h"

#include <malloc.h>

namespace tarnel::linux_platform {

void returnLargeAllocationsToTheSystem() {
  // A threshold set here is fixed: the allocator no longer raises it. Refused, the allocator
  // keeps its own policy: the server still works, with more memory held.
  static_cast<void>(::mallopt(M_MMAP_THRESHOLD, 1024 * 1024));
}

}  // namespace tarnel::linux_platform
