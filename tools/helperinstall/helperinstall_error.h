// Why helperinstall refuses or fails: plain data, made into the line it prints only in main.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnel::helperinstall {

// What went wrong, below the refusal that names the helper, the application or the install.
struct HelperinstallError {
  enum class Kind {
    cannotMakeFileIn,    // `subject`: the folder; `systemError`
    cannotUse,           // `subject`: the path; `systemError`
    cannotRead,          // `systemError`
    cannotOpen,          // `systemError`
    largerThan,          // `number`: the limit in bytes
    cannotKeep,          // `subject`: the path; `systemError`
    notAFolder,          // `subject`: the path
    changeableByOthers,  // `subject`: the path
    invalidSignature,    // `subject`: code signing's reason
    codeUnreadable,      // `subject`: code signing's reason, as it words it
    noBundleIdentifier,
    bundleIdentifierNotAName,  // `subject`: the identifier
    signedAsOther,             // `subject`: the signed identifier; `detail`: the bundle's
    authorizedClientNotText,
    noAuthorizedClients,
    helperUnreadable,
    noLaunchdPlist,
    notAnAuthorizedClient,
    launchdPlistNotDictionary,
    launchdLabelNotIdentifier,  // `subject`: the bundle identifier
    jobNotWritable,
    noAuthorization,      // `number`: the status
    rightRefused,         // `number`: the status
    launchctlDidNotLoad,  // `subject`: the job file
  };
  Kind kind;
  std::string subject;
  std::string detail;
  int systemError = 0;
  std::int64_t number = 0;
};

// What became of the helper installed before, after a failed install.
struct PreviousOutcome {
  enum class Kind { restoredAndLoaded, restoredNotLoaded, notLoadedAgain, notRestored, noneBefore };
  Kind kind;
  std::string job;                           // notLoadedAgain
  std::optional<HelperinstallError> reason;  // notRestored
};

// A refused or failed install: which of its parts, what went wrong, and after a failure to put the
// new helper in place, what became of the one before.
struct InstallFailure {
  enum class Refusal { notAuthorized, refusedHelper, refusedApplication, cannotInstall };
  Refusal refusal;
  std::string subject;  // the right, the helper's or the application's path; nothing to install
  HelperinstallError reason;
  std::optional<PreviousOutcome> previous;
};

std::string describe(const HelperinstallError& error);
std::string describe(const PreviousOutcome& outcome);
// The line helperinstall prints.
std::string describe(const InstallFailure& failure);

}  // namespace tarnel::helperinstall
