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

OSStatus helperAsks(const Authorityd& server, const AuthorizationExternalForm& form,
                    AuthorizationFlags flags) {
  LinuxAuthorization authorization(server.socketPath());
  std::unique_ptr<AuthorizationRef> reference;
  const OSStatus created = authorization.createFromExternalForm(form, reference);
  if (created != errAuthorizationSuccess) return created;
  const OSStatus status =
      authorization.copyRights(*reference, {AuthorizationItem{.name = kRight}}, nullptr, flags);
  authorization.free(std::move(reference), kAuthorizationFlagDefaults);
  return status;
}

TEST(AuthoritydPolkitTest, TheShippedRuleTakesPolkitsDecisionForTheCreator) {
  TemporaryFolder folder;
  const fs::path busSocket = fs::path(folder.root()) / "system_bus_socket";
  const std::string busAddress = "unix:path=" + busSocket.string();
  writeFile(fs::path(folder.root()) / "bus.conf", busConfiguration(busSocket));
  ChildProgram bus({"/usr/bin/dbus-daemon",
                    "--config-file=" + (fs::path(folder.root()) / "bus.conf").string(), "--nofork"},
                   ChildSetup{.output = fs::path(folder.root()) / "dbus.log"});
  ASSERT_TRUE(waitUntil([&] { return socketAnswers(busSocket) || !bus.running(); }) &&
              bus.running())
      << contentsOf(fs::path(folder.root()) / "dbus.log");

  const fs::path actions = fs::path(folder.root()) / "actions";
  const fs::path polkitRules = fs::path(folder.root()) / "polkit-rules";
  fs::create_directories(actions);
  fs::create_directories(polkitRules);
  fs::permissions(actions, static_cast<fs::perms>(0755));
  fs::permissions(polkitRules, static_cast<fs::perms>(0755));
  fs::copy_file(sourceTree() / "resources/authorization/com.quorvant.TarnelX8.policy",
                actions / "com.quorvant.TarnelX8.policy");
  fs::permissions(actions / "com.quorvant.TarnelX8.policy", static_cast<fs::perms>(0644));
  writeFile(polkitRules / "10-tarnel-test.rules", kPolkitRule);
  const fs::path polkitLog = fs::path(folder.root()) / "polkitd.log";
  ChildProgram polkitd({"/usr/lib/polkit-1/polkitd"},
                       ChildSetup{.bindMounts = {{actions, "/usr/share/polkit-1/actions"},
                                                 {polkitRules, "/etc/polkit-1/rules.d"},
                                                 {polkitRules, "/usr/share/polkit-1/rules.d"}},
                                  .environment = {{"DBUS_SYSTEM_BUS_ADDRESS", busAddress}},
                                  .output = polkitLog});
  ASSERT_TRUE(waitUntil([&] {
                return contentsOf(polkitLog).find("Acquired the name") != std::string::npos ||
                       !polkitd.running();
              }) &&
              polkitd.running())
      << contentsOf(polkitLog);

  fs::create_directories(fs::path(folder.root()) / "server");
  Authorityd server(fs::path(folder.root()) / "server", {},
                    ChildSetup{.environment = {{"DBUS_SYSTEM_BUS_ADDRESS", busAddress}}});
  fs::copy_file(sourceTree() / "resources/authorization/com.quorvant.TarnelX8",
                server.rulesFolder() / kRight);

  struct Case {
    uid_t user;
    AuthorizationFlags flags;
    OSStatus expected;
  };
  const Case cases[] = {
      {0, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights,
       errAuthorizationSuccess},
      {kNobody, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights,
       errAuthorizationSuccess},
      // An administrator's authentication, which no agent is there to ask for.
      {kDaemonUser, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights,
       errAuthorizationInteractionNotAllowed},
      {kDaemonUser, kAuthorizationFlagExtendRights, errAuthorizationInteractionNotAllowed},
  };
  for (const Case& each : cases) {
    Creator creator(server.socketPath(), each.user);
    ASSERT_TRUE(creator.form());
    EXPECT_EQ(helperAsks(server, *creator.form(), each.flags), each.expected)
        << "user " << each.user << ", flags " << each.flags << "\n"
        << server.log();
  }
}

}  // namespace
}  // namespace tarnel::support::authorityd
