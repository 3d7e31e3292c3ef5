#include "platform/linux/posix/account_ids.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>

namespace tarnel::linux_platform {

namespace {

// Beyond this an entry is not one any account database holds.
constexpr std::size_t kMaximumEntryBuffer = 1024 * 1024;
constexpr std::size_t kFirstEntryBuffer = 1024;

enum class Answer { found, noSuchEntry, unreadable };

template <class Value>
struct DatabaseAnswer {
  Answer answer;
  std::optional<Value> value;
};

// Calls a reentrant database lookup (getpwnam_r, getpwuid_r, getgrnam_r, as `lookup(entry,
// buffer, size, found)`) with a buffer that grows until the entry fits, and takes what is needed
// of the entry with `valueOf` while its buffer still holds it.
template <class Entry, class Lookup, class ValueOf>
auto lookUp(Lookup lookup, ValueOf valueOf)
    -> DatabaseAnswer<decltype(valueOf(std::declval<const Entry&>()))> {
  std::vector<char> buffer(kFirstEntryBuffer);
  for (;;) {
    Entry entry{};
    Entry* found = nullptr;
    const int result = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (result == EINTR) continue;
    if (result == ERANGE && buffer.size() < kMaximumEntryBuffer) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    // Some databases report a missing entry as ENOENT rather than as no result.
    if (result == ENOENT || (result == 0 && found == nullptr)) return {Answer::noSuchEntry, {}};
    if (result != 0) return {Answer::unreadable, {}};
    return {Answer::found, valueOf(*found)};
  }
}

bool holdsNul(const std::string& name) { return name.find('\0') != std::string::npos; }

auto groupLookup(const std::string& name) {
  return [&name](::group* entry, char* buffer, std::size_t size, ::group** found) {
    return ::getgrnam_r(name.c_str(), entry, buffer, size, found);
  };
}

constexpr const char* kAdministrativeGroup = "wheel";
constexpr gid_t kAdministrativeGroupId = 0;

}  // namespace

std::optional<uid_t> userIdNamed(const std::string& name) {
  if (holdsNul(name)) return std::nullopt;
  return lookUp<passwd>(
             [&name](passwd* entry, char* buffer, std::size_t size, passwd** found) {
               return ::getpwnam_r(name.c_str(), entry, buffer, size, found);
             },
             [](const passwd& entry) { return entry.pw_uid; })
      .value;
}

std::optional<gid_t> groupIdNamed(const std::string& name) {
  if (holdsNul(name)) return std::nullopt;
  const auto group =
      lookUp<::group>(groupLookup(name), [](const ::group& entry) { return entry.gr_gid; });
  if (group.answer == Answer::noSuchEntry && name == kAdministrativeGroup) {
    return kAdministrativeGroupId;
  }
  return group.value;
}

std::optional<UserAccount> userWithId(uid_t user) {
  return lookUp<passwd>(
             [user](passwd* entry, char* buffer, std::size_t size, passwd** found) {
               return ::getpwuid_r(user, entry, buffer, size, found);
             },
             [](const passwd& entry) {
               return UserAccount{entry.pw_name, entry.pw_gid};
             })
      .value;
}

std::optional<GroupAccount> groupNamed(const std::string& name) {
  if (holdsNul(name)) return std::nullopt;
  return lookUp<::group>(groupLookup(name),
                         [](const ::group& entry) {
                           GroupAccount group{.id = entry.gr_gid, .members = {}};
                           for (char** member = entry.gr_mem; member && *member; ++member) {
                             group.members.emplace_back(*member);
                           }
                           return group;
                         })
      .value;
}

}  // namespace tarnel::linux_platform
