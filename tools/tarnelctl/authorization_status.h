// What an authorization status means to the person who meets it, and what to check. -60008 has
// several causes that the status alone does not tell apart; the client tells some of them apart
// by asking whether the servers behind it answer.
#pragma once

#include <string>

#include "platform/os_status.h"

namespace tarnel::tarnelctl {

// Where in obtaining the authorization the status came back.
enum class AuthorizationStep { create, copyRights, makeExternalForm };

// Whether each server that an authorization goes through answers at its socket now.
struct AuthorizationServers {
  bool authorityd = true;
  bool systemBus = true;
};

struct StatusExplanation {
  std::string meaning;
  std::string check;
};

StatusExplanation explainAuthorizationStatus(OSStatus status, AuthorizationStep step,
                                             const AuthorizationServers& servers);

// Whether authorityd and the system D-Bus answer at their sockets.
AuthorizationServers probeAuthorizationServers();

}  // namespace tarnel::tarnelctl
