#include "tools/authorityd/creator.h"

namespace tarnel::authorityd {

bool stillRuns(const Creator& creator) { return linux_platform::isRunning(creator.process); }

}  // namespace tarnel::authorityd
