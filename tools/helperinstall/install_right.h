// The authorization an install needs: an administrator's, for a right of the platform's own.
#pragma once

#include <expected>
#include <string>

#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

// The right to install a privileged helper; its rule (resources/authorization/) asks polkit for
// an administrator's authentication.
inline constexpr const char* kInstallRight = "tarnel.platform.install-helper";

// Creates an authorization for this process at the authorization server at `socketPath` and
// obtains the install right for it now, with interaction allowed. The refusal when the right is
// not granted or no server answers.
std::expected<void, InstallFailure> obtainInstallRight(const std::string& socketPath);

}  // namespace tarnel::helperinstall
