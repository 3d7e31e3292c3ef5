#include "platform/linux/serving/descriptor_budget.h"

#include <sys/resource.h>

#include <algorithm>

namespace tarnel::linux_platform {

std::size_t raiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // Refused (it cannot be for an unprivileged raise to the hard limit): the shares are sized
    // from the limit as it stands.
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? static_cast<std::size_t>(-1)
                                         : static_cast<std::size_t>(limit.rlim_cur);
}

ShareSizes sizeShares(std::size_t limit, DescriptorNeeds needs, ShareSizes wanted) {
  const auto stuckFor = [](std::size_t connections) {
    return std::max<std::size_t>(1, connections / 4);
  };
  // Root's are counted apart from everyone else's, and may be as many: hence the factor 2.
  const auto needed = [&](std::size_t connections) {
    return needs.perConnection * 2 * (connections + stuckFor(connections)) + needs.ownWork;
  };
  std::size_t connections = std::max<std::size_t>(1, wanted.connections);
  while (connections > 1 && needed(connections) > limit) --connections;
  const auto scaled = [&](std::size_t share) {
    return std::clamp<std::size_t>(
        share * connections / std::max<std::size_t>(1, wanted.connections), 1, connections);
  };
  const auto stuck = std::clamp<std::size_t>(wanted.stuck, 1, stuckFor(connections));
  return ShareSizes{.connections = connections,
                    .perUser = scaled(wanted.perUser),
                    .stuck = stuck,
                    .stuckPerUser = std::clamp<std::size_t>(wanted.stuckPerUser, 1, stuck)};
}

}  // namespace tarnel::linux_platform
