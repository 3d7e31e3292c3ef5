// Account names to numeric ids, as the system's user and group databases know them.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tarnel::linux_platform {

// The id of the user `name`; nothing when there is no such user or the database cannot be read.
std::optional<uid_t> userIdNamed(const std::string& name);

// The id of the group `name`. The platform's "wheel" is the administrative group 0: where the
// system has no group of that name, group 0 stands for it.
std::optional<gid_t> groupIdNamed(const std::string& name);

}  // namespace tarnel::linux_platform
