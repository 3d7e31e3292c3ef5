// Large frames given back to the system when they are done. The allocator otherwise raises its
// threshold for mapping large blocks after the first is freed, and keeps later frames in the
// arena of each connection's thread: a frame budget of 32 MiB then left 16 threads holding
// 550 MiB after their frames were long done.
#pragma once

namespace tarnel::linux_platform {

// Maps every allocation of 1 MiB or more on its own, and unmaps it when freed; for a server,
// at start, before its threads run.
void returnLargeAllocationsToTheSystem();

}  // namespace tarnel::linux_platform
