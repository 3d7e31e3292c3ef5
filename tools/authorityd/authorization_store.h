// The authorizations that the server holds, each named by its external form: made by one process,
// holding the rights granted to it until they expire, and known while some reference to it is
// held and its creator still runs. Safe to use from every connection's thread.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/authorization.h"
#include "tools/authorityd/creator.h"

namespace tarnel::authorityd {

class AuthorizationStore {
 public:
  using Clock = std::chrono::steady_clock;

  // A new authorization made by `creator`, with one reference, under 32 bytes drawn from the
  // system's random source; nothing when none could be drawn.
  std::optional<AuthorizationExternalForm> create(const Creator& creator);

  // The creator of the authorization that `form` names; nothing when the store does not know
  // it, or its creator has exited (and then the store forgets it).
  std::optional<Creator> creator(const AuthorizationExternalForm& form);

  // One more reference to the authorization, with its creator; nothing as for creator().
  std::optional<Creator> retain(const AuthorizationExternalForm& form);

  // One reference fewer; with the last one the authorization is forgotten.
  void release(const AuthorizationExternalForm& form);

  // Whether the authorization holds `right` at `now`.
  bool holds(const AuthorizationExternalForm& form, std::string_view right, Clock::time_point now);

  // The authorization holds `right` until `until`.
  void grant(const AuthorizationExternalForm& form, const std::string& right,
             Clock::time_point until);

  // The authorization holds no right any more.
  void destroyRights(const AuthorizationExternalForm& form);

 private:
  struct Entry {
    Creator creator;
    std::size_t references = 0;
    std::map<std::string, Clock::time_point, std::less<>> rights;  // name to expiry
  };
  using Entries = std::map<AuthorizationExternalForm, Entry>;

  // The entry of a known authorization whose creator still runs; the mutex must be held.
  Entries::iterator liveEntry(const AuthorizationExternalForm& form);

  std::mutex mutex_;
  Entries entries_;
};

}  // namespace tarnel::authorityd
