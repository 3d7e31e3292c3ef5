#include "tools/authorityd/authorization_store.h"

#include <sys/random.h>

#include <cerrno>

namespace tarnel::authorityd {

namespace {

std::optional<AuthorizationExternalForm> drawExternalForm() {
  AuthorizationExternalForm form{};
  std::size_t filled = 0;
  while (filled < form.size()) {
    const ssize_t got = ::getrandom(form.data() + filled, form.size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    filled += static_cast<std::size_t>(got);
  }
  return form;
}

}  // namespace

std::optional<AuthorizationExternalForm> AuthorizationStore::create(const Creator& creator) {
  const auto form = drawExternalForm();
  if (!form) return std::nullopt;
  const std::lock_guard lock(mutex_);
  // Two equal draws of 256 bits do not happen; should they, the first holder keeps its own.
  const auto [entry, inserted] = entries_.try_emplace(*form, Entry{.creator = creator});
  if (!inserted) return std::nullopt;
  entry->second.references = 1;
  return form;
}

AuthorizationStore::Entries::iterator AuthorizationStore::liveEntry(
    const AuthorizationExternalForm& form) {
  const auto entry = entries_.find(form);
  if (entry == entries_.end()) return entries_.end();
  if (!stillRuns(entry->second.creator)) {
    entries_.erase(entry);
    return entries_.end();
  }
  return entry;
}

std::optional<Creator> AuthorizationStore::creator(const AuthorizationExternalForm& form) {
  const std::lock_guard lock(mutex_);
  const auto entry = liveEntry(form);
  if (entry == entries_.end()) return std::nullopt;
  return entry->second.creator;
}

std::optional<Creator> AuthorizationStore::retain(const AuthorizationExternalForm& form) {
  const std::lock_guard lock(mutex_);
  const auto entry = liveEntry(form);
  if (entry == entries_.end()) return std::nullopt;
  ++entry->second.references;
  return entry->second.creator;
}

void AuthorizationStore::release(const AuthorizationExternalForm& form) {
  const std::lock_guard lock(mutex_);
  const auto entry = entries_.find(form);
  if (entry == entries_.end()) return;
  if (--entry->second.references == 0) entries_.erase(entry);
}

bool AuthorizationStore::holds(const AuthorizationExternalForm& form, std::string_view right,
                               Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  const auto entry = liveEntry(form);
  if (entry == entries_.end()) return false;
  auto& rights = entry->second.rights;
  const auto held = rights.find(right);
  if (held == rights.end()) return false;
  if (now < held->second) return true;
  rights.erase(held);
  return false;
}

void AuthorizationStore::grant(const AuthorizationExternalForm& form, const std::string& right,
                               Clock::time_point until) {
  const std::lock_guard lock(mutex_);
  const auto entry = liveEntry(form);
  if (entry == entries_.end()) return;
  entry->second.rights.insert_or_assign(right, until);
}

void AuthorizationStore::destroyRights(const AuthorizationExternalForm& form) {
  const std::lock_guard lock(mutex_);
  const auto entry = entries_.find(form);
  if (entry != entries_.end()) entry->second.rights.clear();
}

}  // namespace tarnel::authorityd
