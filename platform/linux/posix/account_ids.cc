#include "platform/linux/posix/account_ids.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tarnel::linux_platform {

namespace {

// Beyond this an entry is not one any account database holds.
constexpr std::size_t kMaximumEntryBuffer = 1024 * 1024;
constexpr std::size_t kFirstEntryBuffer = 1024;

enum class Answer { found, noSuchEntry, unreadable };

template <class Id>
struct DatabaseAnswer {
  Answer answer;
  Id id = 0;
};

// Calls a reentrant database lookup (getpwnam_r, getgrnam_r) with a buffer that grows until the
// entry fits.
template <class Entry, class Id, class Lookup, class IdOf>
DatabaseAnswer<Id> lookUp(Lookup lookup, IdOf idOf, const std::string& name) {
  if (name.find('\0') != std::string::npos) return {Answer::noSuchEntry};
  std::vector<char> buffer(kFirstEntryBuffer);
  for (;;) {
    Entry entry{};
    Entry* found = nullptr;
    const int result = lookup(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (result == EINTR) continue;
    if (result == ERANGE && buffer.size() < kMaximumEntryBuffer) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    // Some databases report a missing entry as ENOENT rather than as no result.
    if (result == ENOENT || (result == 0 && found == nullptr)) return {Answer::noSuchEntry};
    if (result != 0) return {Answer::unreadable};
    return {Answer::found, idOf(*found)};
  }
}

constexpr const char* kAdministrativeGroup = "wheel";
constexpr gid_t kAdministrativeGroupId = 0;

}  // namespace

std::optional<uid_t> userIdNamed(const std::string& name) {
  const auto user = lookUp<passwd, uid_t>(
      ::getpwnam_r, [](const passwd& entry) { return entry.pw_uid; }, name);
  if (user.answer != Answer::found) return std::nullopt;
  return user.id;
}

std::optional<gid_t> groupIdNamed(const std::string& name) {
  const auto group = lookUp<::group, gid_t>(
      ::getgrnam_r, [](const ::group& entry) { return entry.gr_gid; }, name);
  if (group.answer == Answer::noSuchEntry && name == kAdministrativeGroup) {
    return kAdministrativeGroupId;
  }
  if (group.answer != Answer::found) return std::nullopt;
  return group.id;
}

}  // namespace tarnel::linux_platform
