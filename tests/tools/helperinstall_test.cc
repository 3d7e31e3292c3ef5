// The platform's helper install as an application asks for it: the built helperinstall, with a
// real authorityd and launchctl, the daemon as it is installed (stripped, then signed here), and
// applications signed as each case needs, all in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/code_signing/code_signer.h"
#include "tests/support/run_program.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/tools/authorityd_harness.h"

namespace tarnel::support::authorityd {
namespace {

constexpr const char* kLabel = "com.quorvant.TarnelX8Helper";
constexpr const char* kInstallRight = "tarnel.platform.install-helper";

using Outcome = ProgramRun;  // its output: standard output and error

class HelperInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto* name : {"Library/PrivilegedHelperTools", "Library/LaunchDaemons", "state",
                             "sockets", "server", "programs"}) {
      fs::create_directories(root_ / name);
    }
    server_.emplace(root_ / "server");
    server_->writeRule(kInstallRight, "rule allow");
    helper_ = signedHelper("helper", Signer::team);
    application_ = signedSample(programs("application").string(), "8.0",
                                "com.quorvant.TarnelX8.XPCPrivileged");
  }

  void TearDown() override { run(LAUNCHCTL_PROGRAM, {"remove", kLabel}); }

  fs::path programs(const std::string& name) const { return root_ / "programs" / name; }

  // A copy of the daemon as it is installed, signed as itself by `signer`.
  std::string signedHelper(const std::string& name, Signer signer) {
    const auto path = programs(name);
    fs::copy_file(TARNEL_INSTALLED_HELPER, path, fs::copy_options::overwrite_existing);
    const auto result = linux_platform::signFile(signingIdentity(signer),
                                                 {.file = path.string(), .identifier = kLabel});
    if (!result) ADD_FAILURE() << linux_platform::describe(result.error());
    return path.string();
  }

  Outcome install(const std::string& application, const std::string& helper,
                  const std::string& authoritySocket,
                  const std::string& launchctl = LAUNCHCTL_PROGRAM) {
    return run(builtProgram("helperinstall").string(),
               {"--anchors", anchorsFolder(), "--authority-socket", authoritySocket, "--root",
                root_.string(), "--launchctl", launchctl, application, helper});
  }
  Outcome install() { return install(application_, helper_, server_->socketPath().string()); }

  // Runs `program` with the test's launchctl state and socket folders, to its end.
  Outcome run(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram(
        argv, {.environment =
                   std::vector<std::string>{"PATH=/usr/bin:/bin",
                                            "LAUNCHCTL_STATE_DIR=" + (root_ / "state").string(),
                                            "LAUNCHCTL_SOCKET_DIR=" + (root_ / "sockets").string()},
               .streams = RunOptions::Streams::joined});
  }

  std::vector<std::string> entries(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / folder)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TemporaryFolder folder_;
  fs::path root_ = folder_.root();
  std::optional<Authorityd> server_;
  std::string helper_;
  std::string application_;
};

TEST_F(HelperInstallTest, InstallsTheHelperForAnAuthorizedClientAndLoadsItsJob) {
  const fs::path installed = root_ / "Library/PrivilegedHelperTools" / kLabel;
  const fs::path job = root_ / "Library/LaunchDaemons" / (std::string(kLabel) + ".plist");
  // A second install replaces the first, whose job is loaded by then.
  for (int round = 0; round < 2; ++round) {
    const auto outcome = install();
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(outcome.output, "Installed " + std::string(kLabel) + ": " + installed.string() +
                                  ", its job " + job.string() + ", loaded\n");
  }

  EXPECT_EQ(contentsOf(installed), contentsOf(helper_));
  struct stat status {};
  ASSERT_EQ(::stat(installed.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0544u);
  EXPECT_EQ(status.st_uid, 0u);
  ASSERT_EQ(::stat(job.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
  const std::string definition = contentsOf(job);
  EXPECT_NE(definition.find("<key>Program</key>\n\t<string>" + installed.string() + "</string>"),
            std::string::npos)
      << definition;
  EXPECT_NE(definition.find("<key>MachServices</key>"), std::string::npos) << definition;
  EXPECT_EQ(entries("Library/PrivilegedHelperTools"), std::vector<std::string>{kLabel});
  EXPECT_EQ(entries("Library/LaunchDaemons"), std::vector<std::string>{job.filename().string()});

  // Loaded, not running: launchd's side holds its socket until a client comes.
  EXPECT_EQ(run(LAUNCHCTL_PROGRAM, {"list"}).output,
            "PID\tStatus\tLabel\n-\t0\t" + std::string(kLabel) + "\n");
  EXPECT_TRUE(fs::exists(root_ / "sockets" / kLabel));
}

// The new helper's load fails (a launchctl that refuses one load, as a full registry or a broken
// job would): the helper installed before stays installed and loaded.
TEST_F(HelperInstallTest, AFailedLoadLeavesTheHelperInstalledBeforeInPlaceAndLoaded) {
  const fs::path installed = root_ / "Library/PrivilegedHelperTools" / kLabel;
  const fs::path job = root_ / "Library/LaunchDaemons" / (std::string(kLabel) + ".plist");
  const fs::path refuseNextLoad = root_ / "refuse-next-load";
  const auto launchctl = programs("refusing-launchctl");
  writeFile(launchctl,
            "#!/bin/sh\nif [ \"$1\" = load ] && rm \"" + refuseNextLoad.string() +
                "\" 2>/dev/null; then\n  echo 'launchctl: load refused' >&2; exit 1\nfi\nexec " +
                LAUNCHCTL_PROGRAM + " \"$@\"\n",
            0755);
  const std::string loaded = "PID\tStatus\tLabel\n-\t0\t" + std::string(kLabel) + "\n";
  ASSERT_EQ(install().status, 0);
  ASSERT_EQ(run(LAUNCHCTL_PROGRAM, {"list"}).output, loaded);

  // The plain replacement, the old job removed and then the new one loaded, is left with no
  // helper loaded when that load fails.
  writeFile(refuseNextLoad, "");
  EXPECT_EQ(run(launchctl.string(), {"remove", kLabel}).status, 0);
  EXPECT_NE(run(launchctl.string(), {"load", "-w", job.string()}).status, 0);
  EXPECT_EQ(run(LAUNCHCTL_PROGRAM, {"list"}).output, "PID\tStatus\tLabel\n");
  ASSERT_EQ(run(LAUNCHCTL_PROGRAM, {"load", "-w", job.string()}).status, 0);

  struct stat before {};
  ASSERT_EQ(::stat(installed.c_str(), &before), 0);
  const std::string definition = contentsOf(job);
  writeFile(refuseNextLoad, "");
  const auto outcome = install(application_, signedHelper("new-helper", Signer::team),
                               server_->socketPath().string(), launchctl.string());
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output,
            "launchctl: load refused\nCould not install the helper: launchctl did "
            "not load " +
                job.string() + "; the helper installed before is back in place and loaded\n");
  struct stat after {};
  ASSERT_EQ(::stat(installed.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the very file installed before";
  EXPECT_EQ(contentsOf(job), definition);
  EXPECT_EQ(run(LAUNCHCTL_PROGRAM, {"list"}).output, loaded);
  EXPECT_TRUE(fs::exists(root_ / "sockets" / kLabel));
  EXPECT_EQ(entries("Library/PrivilegedHelperTools"), std::vector<std::string>{kLabel});
  EXPECT_EQ(entries("Library/LaunchDaemons"), std::vector<std::string>{job.filename().string()});
}

TEST_F(HelperInstallTest, RefusesAndLeavesNothingBehind) {
  const auto unsignedHelper = programs("unsigned-helper");
  fs::copy_file(TARNEL_INSTALLED_HELPER, unsignedHelper);
  const auto outsideHelper = signedHelper("outside-helper", Signer::outside);
  const auto sign = [&](const std::string& name, const std::string& version,
                        const std::string& identifier, Signer signer) {
    return signedSample(programs(name).string(), version, identifier, signer);
  };
  const std::string socket = server_->socketPath().string();
  const struct {
    const char* what;
    std::string application;
    std::string helper;
    std::string rule;
    std::string authoritySocket;
    const char* reason;
  } cases[] = {
      {"an unsigned helper", application_, unsignedHelper.string(), "rule allow", socket,
       "Refusing helper"},
      {"a helper signed outside the anchors", application_, outsideHelper, "rule allow", socket,
       "its signature is not valid"},
      {"the editor, not its privileged part",
       sign("editor", "8.0", "com.quorvant.TarnelX8", Signer::team), helper_, "rule allow", socket,
       "does not satisfy the helper's authorized clients"},
      {"a version before 8.0",
       sign("old", "6.9", "com.quorvant.TarnelX8.XPCPrivileged", Signer::team), helper_,
       "rule allow", socket, "does not satisfy the helper's authorized clients"},
      {"another team",
       sign("other", "8.0", "com.quorvant.TarnelX8.XPCPrivileged", Signer::otherTeam), helper_,
       "rule allow", socket, "does not satisfy the helper's authorized clients"},
      {"an unsigned application", sampleProgram("8.0"), helper_, "rule allow", socket,
       "Refusing application"},
      {"a denied authorization", application_, helper_, "rule deny", socket, "was refused"},
      {"no authorization server", application_, helper_, "rule allow",
       (root_ / "server/none.socket").string(), "Not authorized"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    server_->writeRule(kInstallRight, c.rule);
    const auto outcome = install(c.application, c.helper, c.authoritySocket);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find(c.reason), std::string::npos) << outcome.output;
    EXPECT_TRUE(entries("Library/PrivilegedHelperTools").empty());
    EXPECT_TRUE(entries("Library/LaunchDaemons").empty());
    EXPECT_EQ(run(LAUNCHCTL_PROGRAM, {"list"}).output, "PID\tStatus\tLabel\n");
    EXPECT_TRUE(entries("sockets").empty());
  }
}

}  // namespace
}  // namespace tarnel::support::authorityd
