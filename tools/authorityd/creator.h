// Who made an authorization: the process at the client end of the connection it was made on, as
// the kernel recorded it when the client connected, never as /proc says later.
#pragma once

#include <sys/types.h>

#include "platform/linux/posix/process_identity.h"

namespace tarnel::authorityd {

struct Creator {
  uid_t user = 0;  // the effective user it connected as (SO_PEERCRED)
  // With its start time, what polkit names a process by, and what tells it from a later process
  // given the same id.
  linux_platform::ProcessIdentity process;

  bool operator==(const Creator&) const = default;
};

// Whether `creator` still runs: its id still names a process with its start time, not ended.
bool stillRuns(const Creator& creator);

}  // namespace tarnel::authorityd
