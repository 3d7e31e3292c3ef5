#include "tools/helperinstall/launchctl_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::helperinstall {

bool runLaunchctl(const std::string& launchctl, const std::vector<std::string>& arguments,
                  Output output) {
  std::vector<std::string> argumentVector{launchctl};
  argumentVector.insert(argumentVector.end(), arguments.begin(), arguments.end());
  linux_platform::SpawnAttributes attributes;
  linux_platform::SpawnFileActions actions;
  const linux_platform::UniqueFd devNull(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!devNull || !attributes.resetSignals()) return false;
  // The file actions run in order: the copies are made before everything else is closed.
  if (output == Output::hidden && !(actions.duplicate(devNull.get(), STDOUT_FILENO) &&
                                    actions.duplicate(devNull.get(), STDERR_FILENO))) {
    return false;
  }
  if (!actions.closeAllButStandardStreams()) return false;
  const auto child = linux_platform::spawnProgram(launchctl, argumentVector, actions, attributes);
  if (!child) return false;
  const auto status = linux_platform::waitForChild(*child);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace tarnel::helperinstall
