#include "tools/tarnelctl/authorization_status.h"

#include "model/right_name.h"
#include "platform/authorization.h"
#include "platform/linux/authorization/protocol.h"
#include "platform/linux/posix/unix_socket.h"

namespace tarnel::tarnelctl {

namespace {

// Where polkit listens for pkcheck on a Debian host; authorityd asks polkit through pkcheck.
constexpr const char* kSystemBusSocket = "/run/dbus/system_bus_socket";

const std::string kAuthoritydLog = "authorityd's log: journalctl -u tarnel-authorityd";

StatusExplanation internalFailure(AuthorizationStep step, const AuthorizationServers& servers) {
  if (!servers.authorityd) {
    return {.meaning = std::string("authorityd, the authorization server, is not running: nothing "
                                   "answers at ") +
                       linux_platform::kAuthorityServerSocket,
            .check = "start it with systemctl start tarnel-authorityd; " + kAuthoritydLog};
  }
  if (step != AuthorizationStep::copyRights) {
    return {.meaning = "authorityd answered but could not keep an authorization for this process",
            .check = kAuthoritydLog};
  }
  if (!servers.systemBus) {
    return {.meaning = std::string("the system D-Bus is not running (nothing answers at ") +
                       kSystemBusSocket +
                       "), and polkit, which authorityd asks for the right, answers over it",
            .check =
                "start it with systemctl start dbus (package dbus), then check polkit with "
                "systemctl status polkit"};
  }
  return {.meaning =
              "authorityd could not ask polkit for the right: pkcheck is missing or "
              "failed, or polkitd does not answer on the system D-Bus",
          .check =
              "that the package polkitd is installed and systemctl status polkit shows it "
              "running; " +
              kAuthoritydLog + " (it has pkcheck's failure)"};
}

}  // namespace

StatusExplanation explainAuthorizationStatus(OSStatus status, AuthorizationStep step,
                                             const AuthorizationServers& servers) {
  const std::string right(helperRightName);
  switch (status) {
    case errAuthorizationInternal:
      return internalFailure(step, servers);
    case errAuthorizationDenied:
      return {.meaning = "the right " + right +
                         " was refused: its rule, or polkit on the rule's behalf, does not grant "
                         "it to this user",
              .check =
                  "the right is an administrator's: run tarnelctl as root or as an "
                  "administrator (group sudo); the rule is /etc/tarnel/authorization/rules/" +
                  right + "; " + kAuthoritydLog + " says why"};
    case errAuthorizationCanceled:
      return {
          .meaning = "the administrator's authentication for the right " + right + " was dismissed",
          .check = "run the command again and authenticate as an administrator"};
    case errAuthorizationInteractionNotAllowed:
      return {.meaning = "the right " + right +
                         " needs an administrator's authentication, and polkit had no "
                         "authentication agent to ask for it",
              .check =
                  "run tarnelctl as root, or in a session that a polkit authentication "
                  "agent serves (a desktop session has one; pkttyagent(1) runs one in a "
                  "terminal)"};
    case errAuthorizationInvalidRef:
      return {.meaning =
                  "authorityd no longer knows the authorization: it was freed, or "
                  "authorityd started again meanwhile",
              .check = "run the command again; " + kAuthoritydLog};
    case errAuthorizationInvalidFlags:
      return {.meaning =
                  "authorityd refused the flags that tarnelctl asked with: the two are of "
                  "different versions",
              .check = "reinstall the package, so that both come from one version"};
    default:
      return {.meaning = "a status that the authorization service does not report",
              .check = kAuthoritydLog};
  }
}

AuthorizationServers probeAuthorizationServers() {
  return {
      .authorityd = linux_platform::connectTo(linux_platform::kAuthorityServerSocket).has_value(),
      .systemBus = linux_platform::connectTo(kSystemBusSocket).has_value()};
}

}  // namespace tarnel::tarnelctl
