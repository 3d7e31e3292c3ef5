// The command runners with real child processes: scripts in a temporary folder stand in for
// launchctl, and the status pipeline runs through the real /bin/sh, grep and awk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "model/reply.h"
#include "operations/command_runner.h"
#include "platform/linux/processes.h"
#include "tests/support/child_processes.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

using support::TemporaryFolder;

// The fake platform with real processes: only those are used here.
class ProcessPlatform {
 public:
  Platform platform() {
    return Platform{processes_,        fake_.files,       fake_.log,           fake_.clock,
                    fake_.processExit, fake_.codeSigning, fake_.authorization, fake_.transport};
  }

 private:
  support::FakePlatform fake_;
  linux_platform::LinuxProcesses processes_;
};

constexpr const char* kListingLaunchctl = R"(case "$1" in
  list)
    printf 'PID\tStatus\tLabel\n'
    printf '101\t0\tcom.example.clean\n102\t78\tcom.example.failing\n'
    printf '103\t5\tcom.example.odd-v\n104\t9\tit'\''s.job\n'
    ;;
  error) printf 'error text for %s' "$2" ;;
esac
)";

TEST(CommandRunnerLinuxTest, LaunchctlIsJudgedByItsExitStatusAlone) {
  TemporaryFolder folder;
  // Prints a line, then exits with its last argument as status.
  const auto launchctl =
      folder.script("launchctl", "echo talkative; for last; do :; done; exit \"$last\"\n");
  const auto missing = folder.path("missing-launchctl");
  const struct {
    std::string tool;
    LaunchctlVerb verb;
    std::string argument;
    std::expected<void, Dictionary> reply;
  } cases[] = {
      {launchctl, LaunchctlVerb::remove, "0", {}},
      {launchctl, LaunchctlVerb::remove, "1",
       std::unexpected(makeCodeErrorReply(ReplyErrorCode::removeFailed))},
      {launchctl, LaunchctlVerb::load, "0", {}},
      {launchctl, LaunchctlVerb::load, "78",
       std::unexpected(makeCodeErrorReply(ReplyErrorCode::loadFailed))},
      {launchctl, LaunchctlVerb::unload, "0", {}},
      {launchctl, LaunchctlVerb::unload, "3",
       std::unexpected(makeCodeErrorReply(ReplyErrorCode::unloadFailed))},
      {missing, LaunchctlVerb::load, "0",
       std::unexpected(makeCodeErrorReply(ReplyErrorCode::loadFailed))},
      {missing, LaunchctlVerb::remove, "0",
       std::unexpected(makeCodeErrorReply(ReplyErrorCode::removeFailed))},
      {missing, LaunchctlVerb::unload, "0",
       std::unexpected(makeCodeErrorReply(ReplyErrorCode::unloadFailed))},
  };
  ProcessPlatform processes;
  Platform platform = processes.platform();
  for (const auto& c : cases) {
    EXPECT_EQ(runLaunchctl(platform, c.tool, c.verb, c.argument), c.reply)
        << c.tool << " " << c.argument;
  }
}

TEST(CommandRunnerLinuxTest, CapturedOutputIsEverythingPrintedInOrder) {
  TemporaryFolder folder;
  std::string longOutput;
  for (int line = 0; line < 300; ++line) longOutput += "line " + std::to_string(line) + "\n";
  const std::string a1023(1023, 'a');
  const struct {
    const char* what;
    std::string body;
    std::string argument;
    std::string expected;
  } cases[] = {
      {"silent", "exit 0\n", "", ""},
      {"interleaved", "echo one; echo two >&2; echo three; echo four >&2\n", "",
       "one\ntwo\nthree\nfour\n"},
      {"longer than one read", "i=0; while [ $i -lt 300 ]; do echo \"line $i\"; i=$((i+1)); done\n",
       "", longOutput},
      // One write of fewer than 4096 bytes reaches the pipe whole, so the reads cut it at 1024
      // and 2048: the first cuts "é", and both reads around it are dropped.
      {"character cut by a read", "printf '%s' \"$2\"\n",
       a1023 + "é" + std::string(1023, 'b') + "tail", "tail"},
      {"no argument changed", "printf '[%s]' \"$@\"\n", " two  words ", "[error][ two  words ]"},
  };
  ProcessPlatform processes;
  Platform platform = processes.platform();
  for (const auto& c : cases) {
    const auto launchctl = folder.script("launchctl", c.body);
    EXPECT_EQ(runCapturingOutput(platform, launchctl, CaptureCommand::errorText, c.argument),
              c.expected)
        << c.what;
  }
}

TEST(CommandRunnerLinuxTest, AProgramThatCannotStartGivesTheEmptyText) {
  TemporaryFolder folder;
  ProcessPlatform processes;
  Platform platform = processes.platform();
  for (const auto command : {CaptureCommand::loadJob, CaptureCommand::errorText}) {
    EXPECT_EQ(runCapturingOutput(platform, folder.path("missing"), command, "x"), "");
  }
}

TEST(CommandRunnerLinuxTest, OutputPastTheLimitIsReadToTheEndButNotKept) {
  TemporaryFolder folder;
  const auto launchctl = folder.script("launchctl", "head -c 5242880 /dev/zero | tr '\\0' a\n");
  ProcessPlatform processes;
  Platform platform = processes.platform();

  const auto text = runCapturingOutput(platform, launchctl, CaptureCommand::loadJob, "/job");

  EXPECT_LE(text.size(), kMaximumCapturedBytes);
  EXPECT_GT(text.size(), kMaximumCapturedBytes - 1024);
  EXPECT_EQ(text.find_first_not_of('a'), std::string::npos);
  // Nothing stays blocked on a full pipe.
  EXPECT_TRUE(support::eventually([] { return support::childProcesses().empty(); }));
}

TEST(CommandRunnerLinuxTest, TheStatusPipelineKeepsAnyLabelToItsRoleAsGrepsPattern) {
  TemporaryFolder folder;
  const auto launchctl = folder.script("launchctl", kListingLaunchctl);
  const auto marker = folder.path("marker");
  const struct {
    std::string label;
    std::string status;
  } cases[] = {
      {"com.example.clean", "0\n"},
      {"com.example.failing", "78\n"},
      {"com.example", ""},  // the label field whole, never a label that begins with it
      {"no.such.job", ""},
      // Read as options these would invert the match, read patterns from a file, or print help.
      {"-v", ""},
      {"-f " + marker, ""},
      {"--version", ""},
      {"it's.job", "9\n"},
      {"x; touch " + marker, ""},
      {"$(touch " + marker + ")", ""},
      {"`touch " + marker + "`", ""},
      {"x' ; touch " + marker + " ; '", ""},
      {"x | touch " + marker, ""},
      {"x && touch " + marker + " #", ""},
      {"q\ntouch " + marker, ""},
  };
  ProcessPlatform processes;
  Platform platform = processes.platform();
  for (const auto& c : cases) {
    EXPECT_EQ(runCapturingOutput(platform, launchctl, CaptureCommand::exitStatus, c.label),
              c.status)
        << c.label;
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace tarnel
