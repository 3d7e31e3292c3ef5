// How long a server waits on a peer for what the peer alone can finish: a peer that is slower
// holds what the server set aside for it for nothing, and is cut off.
#pragma once

#include <chrono>

namespace tarnel::linux_platform {

// The rest of a frame once its first byte has come. Between frames a peer may wait as it likes.
inline constexpr std::chrono::seconds kFrameTimeLimit{10};

// From a connection's accept to the verdict on its peer; past it the connection is cut, and its
// share given back, even while the thread that judges it is still stuck in the kernel.
inline constexpr std::chrono::seconds kValidationTimeLimit{10};

}  // namespace tarnel::linux_platform
