#include "operations/helper_removal.h"

#include "model/helper_label.h"
#include "operations/log_messages.h"

namespace tarnel {

namespace {

std::string itemPath(const std::string& directory, const std::string& name) {
  if (directory.ends_with('/')) return directory + name;
  return directory + "/" + name;
}

}  // namespace

std::string helperJobPath() { return std::string(kLaunchDaemonsDirectory) + helperLabel; }

void unloadHelperJob(Platform& platform, CommandRunner& commands) {
  const auto jobPath = helperJobPath();
  if (platform.files.exists(jobPath) && !commands.runLaunchctl(LaunchctlVerb::unload, jobPath)) {
    platform.log.write(withPath(couldNotUnloadPath, jobPath));
  }
  commands.runLaunchctl(LaunchctlVerb::remove, helperLabel);
}

std::expected<void, PlatformError> removeStaleItems(Platform& platform,
                                                    const std::string& directory) {
  const auto names = platform.files.listFolder(directory);
  if (!names) return {};
  for (const auto& name : *names) {
    if (!name.starts_with(kMakersPrefix)) continue;
    if (auto removed = platform.files.removeItem(itemPath(directory, name)); !removed) {
      return removed;
    }
  }
  return {};
}

}  // namespace tarnel
