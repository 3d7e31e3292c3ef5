// Who administers this machine: root, and the members of its administrative groups.
#pragma once

#include <sys/types.h>

#include <string_view>

namespace tarnel::authorityd {

inline constexpr std::string_view kAdministrativeGroups[] = {"sudo", "wheel", "admin"};

// Whether `user` is root or, by the user and group databases, belongs to an administrative group
// (as its primary group or as a member). False when the databases cannot say.
bool isAdministrator(uid_t user);

}  // namespace tarnel::authorityd
