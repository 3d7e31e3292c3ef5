#include "tools/authorityd/administrators.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace tarnel::authorityd {

namespace {

// Database entries larger than this are taken as unreadable rather than followed further.
constexpr std::size_t kMaximumEntrySize = 1 << 20;

struct Account {
  std::string name;
  gid_t primaryGroup;
};

// Calls a reentrant lookup, growing its buffer while it reports ERANGE.
template <class Entry, class Lookup>
std::optional<Entry> lookUp(Lookup lookup, std::vector<char>& buffer) {
  Entry entry{};
  Entry* found = nullptr;
  for (buffer.resize(1024); buffer.size() <= kMaximumEntrySize; buffer.resize(buffer.size() * 2)) {
    const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE) continue;
    if (error != 0 || found == nullptr) return std::nullopt;
    return entry;
  }
  return std::nullopt;
}

std::optional<Account> accountOf(uid_t user) {
  std::vector<char> buffer;
  const auto entry =
      lookUp<passwd>([user](passwd* out, char* data, std::size_t size,
                            passwd** found) { return ::getpwuid_r(user, out, data, size, found); },
                     buffer);
  if (!entry) return std::nullopt;
  return Account{entry->pw_name, entry->pw_gid};
}

bool belongsTo(const Account& account, std::string_view groupName) {
  std::vector<char> buffer;
  const std::string name(groupName);
  const auto entry = lookUp<group>(
      [&name](group* out, char* data, std::size_t size, group** found) {
        return ::getgrnam_r(name.c_str(), out, data, size, found);
      },
      buffer);
  if (!entry) return false;
  if (entry->gr_gid == account.primaryGroup) return true;
  for (char** member = entry->gr_mem; member && *member; ++member) {
    if (account.name == *member) return true;
  }
  return false;
}

}  // namespace

bool isAdministrator(uid_t user) {
  if (user == 0) return true;
  const auto account = accountOf(user);
  if (!account) return false;
  return std::ranges::any_of(kAdministrativeGroups,
                             [&](std::string_view group) { return belongsTo(*account, group); });
}

}  // namespace tarnel::authorityd
