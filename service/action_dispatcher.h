// The action dispatcher, the body of runActionWith:reply:: checks one request, carries out the
// one action it names and answers it exactly once, or ends the process. It is the only place that
// decides in which order jobs are unloaded, removed, written, loaded, deleted or tested.
#pragma once

#include "model/value.h"
#include "platform/clock.h"
#include "service/controller.h"

namespace tarnel {

// The pause that lets launchd settle after a job changed.
inline constexpr Seconds kSettlePause{0.1};

// Answers `request` through `reply` at most once, as its last step; only ending the process may
// follow the answer.
void dispatchAction(Controller& controller, const Dictionary& request, const ActionReply& reply);

}  // namespace tarnel
