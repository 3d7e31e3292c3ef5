// How long the helper's end may take, written once for the two programs that must agree on it:
// the helper, which drains its requests for at most this long, and launchctl, which gives a job
// that takes itself out a grace period that must outlast the helper's clean-up and drain. They
// live in model/ because it is the one folder both sides may include: a tool may not include
// service/, operations/ or the top of platform/linux/, and these are plain numbers with no code.
#pragma once

#include <chrono>

namespace tarnel {

// How long the requests still running on other connections have to finish and answer once the
// helper ends (its drain).
inline constexpr std::chrono::seconds kRequestsFinishTimeLimit{15};

// What uninstall's clean-up, between taking the helper's label out of launchd and ending the
// process, is allowed: removing the maker's items from the two system folders (which only root
// fills) and one launchctl run that finds the label already gone. Nothing cuts the clean-up at
// this bound; it is the share of launchctl's grace period set aside for it.
inline constexpr std::chrono::seconds kUninstallCleanUpAllowance{10};

}  // namespace tarnel
