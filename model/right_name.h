// The one authorization right that the helper asks for before it carries out a privileged
// request; a client obtains it in advance under the same name.
#pragma once

namespace tarnel {

inline constexpr const char* helperRightName = "com.quorvant.TarnelX8";

}  // namespace tarnel
