// Accounts as the system's user and group databases know them: names to numeric ids, a user's
// name and primary group, a group's members.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnel::linux_platform {

// The id of the user `name`; nothing when there is no such user or the database cannot be read.
std::optional<uid_t> userIdNamed(const std::string& name);

// The id of the group `name`. The platform's "wheel" is the administrative group 0: where the
// system has no group of that name, group 0 stands for it.
std::optional<gid_t> groupIdNamed(const std::string& name);

struct UserAccount {
  std::string name;
  gid_t primaryGroup;
};

// The user whose id is `user`; nothing when there is none or the database cannot be read.
std::optional<UserAccount> userWithId(uid_t user);

struct GroupAccount {
  gid_t id;
  std::vector<std::string> members;  // those listed as members, not those for whom it is primary
};

// The group `name` as the database holds it (no stand-in for "wheel"); nothing when there is no
// such group or the database cannot be read.
std::optional<GroupAccount> groupNamed(const std::string& name);

}  // namespace tarnel::linux_platform
