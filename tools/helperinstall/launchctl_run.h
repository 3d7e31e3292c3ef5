// Running launchctl to load and remove the helper's job, as the platform's install does.
#pragma once

#include <string>
#include <vector>

namespace tarnel::helperinstall {

enum class Output { shown, hidden };

// Runs `launchctl` with `arguments` and waits for it: true when it exits with status 0. Its
// standard output and error are this process's, or /dev/null when hidden.
bool runLaunchctl(const std::string& launchctl, const std::vector<std::string>& arguments,
                  Output output);

}  // namespace tarnel::helperinstall
