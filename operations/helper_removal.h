// Taking the helper's own job out of launchd, and removing the items named with the maker's
// prefix from a system folder, for the terminate and uninstall requests.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "model/platform_error.h"
#include "operations/command_runner.h"
#include "platform/platform.h"

namespace tarnel {

inline constexpr std::string_view kLaunchDaemonsDirectory = "/Library/LaunchDaemons/";
inline constexpr std::string_view kPrivilegedHelperToolsDirectory =
    "/Library/PrivilegedHelperTools/";
// Names beginning with these characters, compared case-sensitively, are the maker's.
inline constexpr std::string_view kMakersPrefix = "com.quorvant.";

// The launch daemons directory followed directly by the helper's label, no extension added.
std::string helperJobPath();

// Unloads the helper job file when an item exists there (a failure is logged with the path), then
// removes the helper's label from launchd, its result ignored, both through `commands`. Never
// fails.
void unloadHelperJob(Platform& platform, CommandRunner& commands);

// Removes, in listing order, every item directly inside `directory` whose name begins with the
// maker's prefix, a folder with all its content; hidden items are not listed. A folder that cannot
// be listed is success with nothing removed; the first removal that fails stops the clean-up and
// is returned, items removed before staying removed.
// Within uninstall it runs after the helper's label is out of launchd, inside the share of
// launchctl's grace period set aside for it (kUninstallCleanUpAllowance in
// model/helper_end_bounds.h).
std::expected<void, PlatformError> removeStaleItems(Platform& platform,
                                                    const std::string& directory);

}  // namespace tarnel
