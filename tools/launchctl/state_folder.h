// Where launchctl keeps its registry of loaded jobs: one fixed folder, which tests move elsewhere
// through an environment variable.
#pragma once

#include <expected>
#include <string>

#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

inline constexpr const char* kDefaultStateFolder = "/var/run/launchctl-state";
inline constexpr const char* kStateFolderVariable = "LAUNCHCTL_STATE_DIR";

// The folder named by LAUNCHCTL_STATE_DIR when it is set and not empty, else the fixed one.
std::string stateFolderPath();

// Creates `folder` (mode 0755) when it is missing, and checks that it is a directory that only
// the effective user can change: the registry names processes that unload signals, so nobody
// else may write it. Why not when it is not usable.
std::expected<void, LaunchctlError> prepareStateFolder(const std::string& folder);

}  // namespace tarnel::launchctl
