// The descriptors a server may hold, shared out before it serves: the soft limit raised to the
// hard one, and the connection shares sized from it, so that the shares run out before the
// descriptors do (docs/service.md gives the arithmetic).
#pragma once

#include <cstddef>

namespace tarnel::linux_platform {

// How many connections a server serves at once: of users other than root together and of any
// one of them (root may hold as many again, counted apart), and how many threads cut at the
// validation limit while still stuck in the kernel it keeps, together and of any one user (root
// again apart).
struct ShareSizes {
  std::size_t connections = 0;
  std::size_t perUser = 0;
  std::size_t stuck = 0;
  std::size_t stuckPerUser = 0;
};

// What a server needs of descriptors: per connection (or stuck thread), and apart from them for
// its own work (listening sockets, logs, the programs it runs, the accept loop's reserve).
struct DescriptorNeeds {
  std::size_t perConnection = 0;
  std::size_t ownWork = 0;
};

// Raises the soft limit on open descriptors to the hard limit; the soft limit in force after.
std::size_t raiseDescriptorLimit();

// The largest sizes, at most `wanted` (with stuck threads at a quarter of the connections), for
// which  needs.perConnection x 2 x (connections + stuck) + needs.ownWork <= limit ; never below
// one of each.
ShareSizes sizeShares(std::size_t limit, DescriptorNeeds needs, ShareSizes wanted);

}  // namespace tarnel::linux_platform
