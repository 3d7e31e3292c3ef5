// polkit's decision for one process, as pkcheck reports it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os_status.h"

namespace tarnel::authorityd {

enum class Interaction { notAllowed, allowed };

struct PolkitSubject {
  pid_t processId;
  std::uint64_t startTime;  // clock ticks since boot, which polkit checks against the process
  uid_t user;
};

// Runs `pkcheckPath --action-id ACTION --process PID,START,UID`, with --allow-user-interaction
// when interaction is allowed, and waits for it. errAuthorizationSuccess only when pkcheck exits
// with status 0; a pkcheck that cannot run, or that ends by a signal, refuses.
OSStatus askPolkit(const std::string& pkcheckPath, std::string_view actionId,
                   const PolkitSubject& subject, Interaction interaction);

}  // namespace tarnel::authorityd
