// Why code failed to validate: the status the code-signing service reports, and the reason in
// words for the signing tool and the logs of tests.
#pragma once

#include <string>

#include "platform/os_status.h"

namespace tarnel::linux_platform {

struct SigningFailure {
  OSStatus status;
  std::string reason;
};

}  // namespace tarnel::linux_platform
