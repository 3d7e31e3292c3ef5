// The shipped rule and polkit action against a real polkitd: a private message bus of the system
// kind, and polkitd in a mount namespace of its own in which polkit's action and rule folders are
// this test's, so that nothing of the host's polkit is read or changed.
#include <gtest/gtest.h>

#include <memory>

#include "platform/linux/authorization/authorization.h"
#include "tests/tools/authorityd_harness.h"

namespace tarnel::support::authorityd {
namespace {

using linux_platform::LinuxAuthorization;

std::string busConfiguration(const fs::path& socket) {
  return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=)" +
         socket.string() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="false"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";
}

// Besides the shipped action's defaults (an administrator must authenticate), polkit grants the
// right to nobody outright.
constexpr const char* kPolkitRule = R"(polkit.addRule(function(action, subject) {
  if (action.id == "com.quorvant.TarnelX8" && subject.user == "nobody") {
    return polkit.Result.YES;
  }
});
)";

// The platform's right to install a helper, which only an administrator is granted.
constexpr const char* kInstallRight = "tarnel.platform.install-helper";

OSStatus helperAsks(const Authorityd& server, const AuthorizationExternalForm& form,
                    const std::string& right, AuthorizationFlags flags) {
  LinuxAuthorization authorization(server.socketPath());
  std::unique_ptr<AuthorizationRef> reference;
  const OSStatus created = authorization.createFromExternalForm(form, reference);
  if (created != errAuthorizationSuccess) return created;
  const OSStatus status =
      authorization.copyRights(*reference, {AuthorizationItem{.name = right}}, nullptr, flags);
  authorization.free(std::move(reference), kAuthorizationFlagDefaults);
  return status;
}

TEST(AuthoritydPolkitTest, TheShippedRulesTakePolkitsDecisionForTheCreator) {
  TemporaryFolder folder;
  const fs::path busSocket = fs::path(folder.root()) / "system_bus_socket";
  const std::string busAddress = "unix:path=" + busSocket.string();
  writeFile(fs::path(folder.root()) / "bus.conf", busConfiguration(busSocket));
  ChildProgram bus({"/usr/bin/dbus-daemon",
                    "--config-file=" + (fs::path(folder.root()) / "bus.conf").string(), "--nofork"},
                   ChildSetup{.output = fs::path(folder.root()) / "dbus.log"});
  ASSERT_TRUE(eventually([&] { return socketAnswers(busSocket) || !bus.running(); }) &&
              bus.running())
      << contentsOf(fs::path(folder.root()) / "dbus.log");

  const fs::path actions = fs::path(folder.root()) / "actions";
  const fs::path polkitRules = fs::path(folder.root()) / "polkit-rules";
  fs::create_directories(actions);
  fs::create_directories(polkitRules);
  fs::permissions(actions, static_cast<fs::perms>(0755));
  fs::permissions(polkitRules, static_cast<fs::perms>(0755));
  for (const std::string right : {kRight, kInstallRight}) {
    fs::copy_file(sourceTree() / "resources/authorization" / (right + ".policy"),
                  actions / (right + ".policy"));
    fs::permissions(actions / (right + ".policy"), static_cast<fs::perms>(0644));
  }
  writeFile(polkitRules / "10-tarnel-test.rules", kPolkitRule);
  const fs::path polkitLog = fs::path(folder.root()) / "polkitd.log";
  ChildProgram polkitd({"/usr/lib/polkit-1/polkitd"},
                       ChildSetup{.bindMounts = {{actions, "/usr/share/polkit-1/actions"},
                                                 {polkitRules, "/etc/polkit-1/rules.d"},
                                                 {polkitRules, "/usr/share/polkit-1/rules.d"}},
                                  .environment = {{"DBUS_SYSTEM_BUS_ADDRESS", busAddress}},
                                  .output = polkitLog});
  ASSERT_TRUE(eventually([&] {
                return contentsOf(polkitLog).find("Acquired the name") != std::string::npos ||
                       !polkitd.running();
              }) &&
              polkitd.running())
      << contentsOf(polkitLog);

  fs::create_directories(fs::path(folder.root()) / "server");
  Authorityd server(fs::path(folder.root()) / "server", {},
                    ChildSetup{.environment = {{"DBUS_SYSTEM_BUS_ADDRESS", busAddress}}});
  for (const std::string right : {kRight, kInstallRight}) {
    fs::copy_file(sourceTree() / "resources/authorization" / right, server.rulesFolder() / right);
  }

  constexpr AuthorizationFlags kInteractive =
      kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights;
  struct Case {
    std::string right;
    uid_t user;
    AuthorizationFlags flags;
    OSStatus expected;
  };
  const Case cases[] = {
      {kRight, 0, kInteractive, errAuthorizationSuccess},
      {kRight, kNobody, kInteractive, errAuthorizationSuccess},
      // An administrator's authentication, which no agent is there to ask for.
      {kRight, kDaemonUser, kInteractive, errAuthorizationInteractionNotAllowed},
      {kRight, kDaemonUser, kAuthorizationFlagExtendRights, errAuthorizationInteractionNotAllowed},
      {kInstallRight, 0, kInteractive, errAuthorizationSuccess},
      {kInstallRight, kNobody, kInteractive, errAuthorizationInteractionNotAllowed},
  };
  for (const Case& each : cases) {
    Creator creator(server.socketPath(), each.user);
    ASSERT_TRUE(creator.form());
    EXPECT_EQ(helperAsks(server, *creator.form(), each.right, each.flags), each.expected)
        << each.right << ", user " << each.user << ", flags " << each.flags << "\n"
        << server.log();
  }
}

}  // namespace
}  // namespace tarnel::support::authorityd
