// The helper's job definition as it is installed: the launchd property list it carries, with the
// place it is installed at as its program.
#pragma once

#include <expected>
#include <string>

#include "model/value.h"
#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

// `launchdPlist` (XML or binary) with Program set to `program`, as XML; why not when it is not a
// dictionary whose Label is `label`.
std::expected<std::string, HelperinstallError> helperJobDefinition(const Bytes& launchdPlist,
                                                                   const std::string& label,
                                                                   const std::string& program);

}  // namespace tarnel::helperinstall
