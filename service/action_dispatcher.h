// The action dispatcher, the body of runActionWith:reply:: checks one request, carries out the
// one action it names and answers it exactly once, or ends the process. It is the only place that
// decides in which order jobs are unloaded, removed, written, loaded, deleted or tested.
#pragma once

#include <functional>

#include "model/value.h"
#include "operations/command_runner.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "trust/shared_signing.h"

namespace tarnel {

// How runActionWith:reply: answers: once, with one reply dictionary.
using ActionReply = std::function<void(Dictionary reply)>;

// The pause that lets launchd settle after a job changed.
inline constexpr Seconds kSettlePause{0.1};

// Answers `request` through `reply` at most once, as its last step; only ending the process may
// follow the answer. The helper's own code is checked against `requirement`, and launchctl runs
// through `commands` (Controller's runners).
void dispatchAction(Platform& platform, ClientRequirement& requirement, CommandRunner& commands,
                    const Dictionary& request, const ActionReply& reply);

}  // namespace tarnel
