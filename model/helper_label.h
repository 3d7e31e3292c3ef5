// The helper's one name: its bundle identifier, its launchd job label and its service name.
#pragma once

namespace tarnel {

inline constexpr const char* helperLabel = "com.quorvant.TarnelX8Helper";

}  // namespace tarnel
