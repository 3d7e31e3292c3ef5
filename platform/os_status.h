// The status that the code-signing and authorization services report: 0 is success.
#pragma once

#include <cstdint>

namespace tarnel {

using OSStatus = std::int32_t;

inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errAuthorizationSuccess = 0;

}  // namespace tarnel
