// The platform's install of a privileged helper for an application: authorized by an
// administrator, the helper's signature and the application's standing checked, the helper and
// its job definition placed whole and the job loaded; or, on any refusal or failure, nothing of
// it left behind and the helper installed before, if any, in place and loaded as it was.
#pragma once

#include <expected>
#include <string>

#include "tools/helperinstall/command_line.h"
#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

inline constexpr const char* kPrivilegedHelperToolsFolder = "Library/PrivilegedHelperTools";
inline constexpr const char* kLaunchDaemonsFolder = "Library/LaunchDaemons";
// A helper is a small program; anything larger is refused before it is read whole.
inline constexpr std::size_t kMaximumHelperSize = 256 * 1024 * 1024;

struct Installed {
  std::string label;
  std::string helper;  // PrivilegedHelperTools/LABEL, owner root, mode 0544
  std::string job;     // LaunchDaemons/LABEL.plist, owner root, mode 0644
};

// Obtains the install right, copies the helper into its folder under a temporary name and
// validates that copy (so that what is checked is what is installed), checks that the
// application satisfies one of the helper's authorized clients, writes the job definition (the
// helper's launchd property list with Program set to the installed helper), takes out a job of
// the same label loaded before, puts both files in place and loads the job with launchctl. When
// that fails, the helper and job definition installed before are put back and their job loaded
// again if it was loaded. The refusal or failure, with what became of the helper installed before.
std::expected<Installed, InstallFailure> installHelper(const Settings& settings);

}  // namespace tarnel::helperinstall
