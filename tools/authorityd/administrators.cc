#include "tools/authorityd/administrators.h"

#include <algorithm>
#include <string>

#include "platform/linux/posix/account_ids.h"

namespace tarnel::authorityd {

namespace {

using linux_platform::UserAccount;

bool belongsTo(const UserAccount& account, std::string_view groupName) {
  const auto group = linux_platform::groupNamed(std::string(groupName));
  if (!group) return false;
  return group->id == account.primaryGroup ||
         std::ranges::find(group->members, account.name) != group->members.end();
}

}  // namespace

bool isAdministrator(uid_t user) {
  if (user == 0) return true;
  const auto account = linux_platform::userWithId(user);
  if (!account) return false;
  return std::ranges::any_of(kAdministrativeGroups,
                             [&](std::string_view group) { return belongsTo(*account, group); });
}

}  // namespace tarnel::authorityd
