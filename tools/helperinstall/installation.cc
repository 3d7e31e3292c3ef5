#include "tools/helperinstall/installation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/linux/posix/unique_fd.h"
#include "tools/helperinstall/authorized_client.h"
#include "tools/helperinstall/helper_job.h"
#include "tools/helperinstall/install_right.h"
#include "tools/helperinstall/launchctl_run.h"
#include "tools/helperinstall/messages.h"
#include "tools/helperinstall/previous_install.h"
#include "tools/helperinstall/signed_helper.h"
#include "tools/helperinstall/staged_file.h"
#include "tools/helperinstall/system_folder.h"

namespace tarnel::helperinstall {

namespace {

std::string under(const std::string& root, const std::string& path) {
  return root.ends_with('/') ? root + path : root + "/" + path;
}

// Puts the new helper and its job in place and loads the job; what failed, if anything.
std::optional<std::string> placeAndLoad(const std::string& launchctl, StagedFile& helper,
                                        StagedFile& job, const Installed& installed) {
  if (auto placed = helper.placeAt(installed.helper); !placed) return placed.error();
  if (auto placed = job.placeAt(installed.job); !placed) return placed.error();
  if (!runLaunchctl(launchctl, {"load", "-w", installed.job}, Output::shown)) {
    return "launchctl did not load " + installed.job;
  }
  return std::nullopt;
}

// After a failed install: the helper installed before back in place, and loaded again when it was
// loaded; what became of it, ready to print.
std::string putBack(PreviousInstall& previous, bool wasLoaded, const std::string& launchctl,
                    const std::string& job) {
  const bool found = previous.found();
  if (auto restored = previous.restore(); !restored) {
    return messages::previousNotRestored(restored.error());
  }
  if (!found) return messages::nothingInstalledBefore();
  if (!wasLoaded) return messages::previousRestored(false);
  if (!runLaunchctl(launchctl, {"load", "-w", job}, Output::shown)) {
    return messages::previousNotLoaded(job);
  }
  return messages::previousRestored(true);
}

}  // namespace

std::expected<Installed, std::string> installHelper(const Settings& settings) {
  if (auto authorized = obtainInstallRight(settings.authoritySocket); !authorized) {
    return std::unexpected(authorized.error());
  }
  const std::string toolsFolder = under(settings.root, kPrivilegedHelperToolsFolder);
  const std::string daemonsFolder = under(settings.root, kLaunchDaemonsFolder);
  for (const auto& folder : {toolsFolder, daemonsFolder}) {
    if (auto safe = checkSystemFolder(folder); !safe) {
      return std::unexpected(messages::cannotInstall(safe.error()));
    }
  }

  const linux_platform::UniqueFd source(::open(settings.helper.c_str(), O_RDONLY | O_CLOEXEC));
  if (!source) {
    return std::unexpected(messages::refusedHelper(settings.helper, std::strerror(errno)));
  }
  auto helperCopy = StagedFile::create(toolsFolder, 0544);
  if (!helperCopy) return std::unexpected(messages::cannotInstall(helperCopy.error()));
  if (auto copied = helperCopy->copyFrom(source.get(), kMaximumHelperSize); !copied) {
    return std::unexpected(messages::refusedHelper(settings.helper, copied.error()));
  }
  const auto helper = readSignedHelper(helperCopy->fd(), settings.anchorsFolder);
  if (!helper) return std::unexpected(messages::refusedHelper(settings.helper, helper.error()));

  if (auto client = checkAuthorizedClient(settings.application, helper->authorizedClients,
                                          settings.anchorsFolder);
      !client) {
    return std::unexpected(messages::refusedApplication(settings.application, client.error()));
  }

  const Installed installed{.label = helper->label,
                            .helper = toolsFolder + "/" + helper->label,
                            .job = daemonsFolder + "/" + helper->label + ".plist"};
  const auto definition =
      helperJobDefinition(helper->launchdPlist, installed.label, installed.helper);
  if (!definition) {
    return std::unexpected(messages::refusedHelper(settings.helper, definition.error()));
  }
  auto jobFile = StagedFile::create(daemonsFolder, 0644);
  if (!jobFile) return std::unexpected(messages::cannotInstall(jobFile.error()));
  if (auto written = jobFile->write(*definition); !written) {
    return std::unexpected(messages::cannotInstall(written.error()));
  }

  // A helper installed before is replaced all or nothing: its files are kept aside until the new
  // job is loaded. Its job goes first, as launchd would not load a second job of the label; not
  // loaded is as good, and then it is not loaded again either.
  auto previous = PreviousInstall::keep({installed.helper, installed.job});
  if (!previous) return std::unexpected(messages::cannotInstall(previous.error()));
  const bool previousLoaded =
      runLaunchctl(settings.launchctl, {"remove", installed.label}, Output::hidden);
  auto failure = placeAndLoad(settings.launchctl, *helperCopy, *jobFile, installed);
  if (!failure) return installed;
  return std::unexpected(messages::cannotInstall(*failure) + "; " +
                         putBack(*previous, previousLoaded, settings.launchctl, installed.job));
}

}  // namespace tarnel::helperinstall
