#include "tools/helperinstall/installation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/linux/posix/unique_fd.h"
#include "tools/helperinstall/authorized_client.h"
#include "tools/helperinstall/helper_job.h"
#include "tools/helperinstall/install_right.h"
#include "tools/helperinstall/launchctl_run.h"
#include "tools/helperinstall/previous_install.h"
#include "tools/helperinstall/signed_helper.h"
#include "tools/helperinstall/staged_file.h"
#include "tools/helperinstall/system_folder.h"

namespace tarnel::helperinstall {

namespace {

std::string under(const std::string& root, const std::string& path) {
  return root.ends_with('/') ? root + path : root + "/" + path;
}

using Refusal = InstallFailure::Refusal;

std::unexpected<InstallFailure> refused(Refusal refusal, std::string subject,
                                        HelperinstallError reason) {
  return std::unexpected(InstallFailure{.refusal = refusal,
                                        .subject = std::move(subject),
                                        .reason = std::move(reason),
                                        .previous = std::nullopt});
}

std::unexpected<InstallFailure> cannotInstall(HelperinstallError reason) {
  return refused(Refusal::cannotInstall, {}, std::move(reason));
}

// Puts the new helper and its job in place and loads the job; what failed, if anything.
std::optional<HelperinstallError> placeAndLoad(const std::string& launchctl, StagedFile& helper,
                                               StagedFile& job, const Installed& installed) {
  if (auto placed = helper.placeAt(installed.helper); !placed) return placed.error();
  if (auto placed = job.placeAt(installed.job); !placed) return placed.error();
  if (!runLaunchctl(launchctl, {"load", "-w", installed.job}, Output::shown)) {
    return HelperinstallError{.kind = HelperinstallError::Kind::launchctlDidNotLoad,
                              .subject = installed.job};
  }
  return std::nullopt;
}

// After a failed install: the helper installed before back in place, and loaded again when it was
// loaded; what became of it.
PreviousOutcome putBack(PreviousInstall& previous, bool wasLoaded, const std::string& launchctl,
                        const std::string& job) {
  using Kind = PreviousOutcome::Kind;
  const bool found = previous.found();
  if (auto restored = previous.restore(); !restored) {
    return {.kind = Kind::notRestored, .job = {}, .reason = restored.error()};
  }
  if (!found) return {.kind = Kind::noneBefore};
  if (!wasLoaded) return {.kind = Kind::restoredNotLoaded};
  if (!runLaunchctl(launchctl, {"load", "-w", job}, Output::shown)) {
    return {.kind = Kind::notLoadedAgain, .job = job, .reason = std::nullopt};
  }
  return {.kind = Kind::restoredAndLoaded};
}

}  // namespace

std::expected<Installed, InstallFailure> installHelper(const Settings& settings) {
  if (auto authorized = obtainInstallRight(settings.authoritySocket); !authorized) {
    return std::unexpected(authorized.error());
  }
  const std::string toolsFolder = under(settings.root, kPrivilegedHelperToolsFolder);
  const std::string daemonsFolder = under(settings.root, kLaunchDaemonsFolder);
  for (const auto& folder : {toolsFolder, daemonsFolder}) {
    if (auto safe = checkSystemFolder(folder); !safe) return cannotInstall(safe.error());
  }

  const auto refusedHelper = [&](HelperinstallError reason) {
    return refused(Refusal::refusedHelper, settings.helper, std::move(reason));
  };
  const linux_platform::UniqueFd source(::open(settings.helper.c_str(), O_RDONLY | O_CLOEXEC));
  if (!source) {
    return refusedHelper({.kind = HelperinstallError::Kind::cannotOpen, .systemError = errno});
  }
  auto helperCopy = StagedFile::create(toolsFolder, 0544);
  if (!helperCopy) return cannotInstall(helperCopy.error());
  if (auto copied = helperCopy->copyFrom(source.get(), kMaximumHelperSize); !copied) {
    return refusedHelper(copied.error());
  }
  const auto helper = readSignedHelper(helperCopy->fd(), settings.anchorsFolder);
  if (!helper) return refusedHelper(helper.error());

  if (auto client = checkAuthorizedClient(settings.application, helper->authorizedClients,
                                          settings.anchorsFolder);
      !client) {
    return refused(Refusal::refusedApplication, settings.application, client.error());
  }

  const Installed installed{.label = helper->label,
                            .helper = toolsFolder + "/" + helper->label,
                            .job = daemonsFolder + "/" + helper->label + ".plist"};
  const auto definition =
      helperJobDefinition(helper->launchdPlist, installed.label, installed.helper);
  if (!definition) return refusedHelper(definition.error());
  auto jobFile = StagedFile::create(daemonsFolder, 0644);
  if (!jobFile) return cannotInstall(jobFile.error());
  if (auto written = jobFile->write(*definition); !written) return cannotInstall(written.error());

  // A helper installed before is replaced all or nothing: its files are kept aside until the new
  // job is loaded. Its job goes first, as launchd would not load a second job of the label; not
  // loaded is as good, and then it is not loaded again either.
  auto previous = PreviousInstall::keep({installed.helper, installed.job});
  if (!previous) return cannotInstall(previous.error());
  const bool previousLoaded =
      runLaunchctl(settings.launchctl, {"remove", installed.label}, Output::hidden);
  auto failure = placeAndLoad(settings.launchctl, *helperCopy, *jobFile, installed);
  if (!failure) return installed;
  auto failed = cannotInstall(std::move(*failure));
  failed.error().previous = putBack(*previous, previousLoaded, settings.launchctl, installed.job);
  return failed;
}

}  // namespace tarnel::helperinstall
