// Socket activation: the listening sockets that the service manager opened for this process and
// passed to it (the LISTEN_FDS protocol, the Linux form of launchd's on-demand start).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

// The first descriptor passed; the others follow it in order.
inline constexpr int kFirstActivatedFd = 3;

struct ActivatedSocket {
  UniqueFd socket;
  std::string name;  // its LISTEN_FDNAMES entry; empty when none was given
};

// How many descriptors the environment says were passed to process `self`: none unless
// `listenPid` names `self` and `listenFds` is a count, both plain decimal numbers.
int activatedSocketCount(const char* listenPid, const char* listenFds, pid_t self);

// The names that `listenFdNames` gives the first `count` descriptors, "" where it gives none.
std::vector<std::string> activatedSocketNames(const char* listenFdNames, int count);

// Takes the sockets passed to this process: each becomes close-on-exec and non-blocking, and the
// variables are removed from the environment, so that no child believes they are its own and a
// later call finds nothing. Descriptors that are not listening Unix stream sockets are closed and
// left out. Call it before starting threads: it changes the environment.
std::vector<ActivatedSocket> takeActivatedSockets();

}  // namespace tarnel::linux_platform
