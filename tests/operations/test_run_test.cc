#include "operations/test_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "operations/status_pipeline.h"
#include "platform/linux/files.h"
#include "platform/linux/processes.h"
#include "tests/support/fake_command_runner.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

using support::FakeCommandRunner;
using support::FakePlatform;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using CommandLine = std::vector<std::string>;

constexpr const char* kLaunchctl = "/bin/launchctl";
const std::string kJob = "/Library/Tests/test.plist";
const std::string kOutput = "/Library/Tests/test.out";
const std::string kLabel = "com.example.test";

const Action::Test kTest{
    .testPath = kJob, .testOutputPath = kOutput, .string = "<plist/>", .label = kLabel};
const CommandLine kLoad{kLaunchctl, "load", "-w", kJob};
const CommandLine kStatus{"/bin/sh", "-c", statusPipelineText(kLaunchctl, kLabel)};
CommandLine errorFor(const std::string& status) { return {kLaunchctl, "error", status}; }

TEST(TestRunTest, TheReportIsTheLoadOutputOrTheStatusErrorAndTheOutputFile) {
  const std::string tooLarge(kMaximumTestOutputBytes + 1, 'x');
  const struct {
    const char* what;
    std::string loadOutput;
    std::string status;
    std::optional<std::string> errorOutput;  // nothing: "error" is never asked for
    std::optional<std::string> outputFile;
    std::string report;
  } cases[] = {
      {"loading printed", "Load failed: bad plist\n", "78\n", std::nullopt, "output\n",
       "Load failed: bad plist\n"},
      {"clean exit", "", "0\n", std::nullopt, "hello\n", "hello\n"},
      {"failed with output", "", "78\n", "Job failed (78)", "output\n",
       "Job failed (78)\noutput\n"},
      {"error text empty", "", "78\n", "", "output", "output"},
      {"not in the list", "", "", std::nullopt, "output", "output"},
      {"several status lines", "", "0\n0\n", "Several", "output", "Several\noutput"},
      {"status without newline", "", "0", "Zero?", "output", "Zero?\noutput"},
      {"no output file", "", "78\n", "Job failed (78)", std::nullopt, "Job failed (78)"},
      {"no output file, clean exit", "", "0\n", std::nullopt, std::nullopt, ""},
      {"empty output file, clean exit", "", "0\n", std::nullopt, "", ""},
      {"output file too large", "", "0\n", std::nullopt, tooLarge, ""},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.files.addFile(kJob, "<plist/>");
    if (c.outputFile) fake.files.addFile(kOutput, *c.outputFile);
    fake.processes.scriptCapture(kLoad, std::vector<std::string>{c.loadOutput});
    fake.processes.scriptCapture(kStatus, std::vector<std::string>{c.status});
    if (c.errorOutput) {
      fake.processes.scriptCapture(errorFor(c.status), std::vector<std::string>{*c.errorOutput});
    }
    Platform platform = fake.platform();
    FakeCommandRunner commands(platform, kLaunchctl);

    EXPECT_EQ(runTestJob(platform, commands, kTest), c.report) << c.what;

    std::vector<CommandLine> started{kLoad};
    if (c.loadOutput.empty()) started.push_back(kStatus);
    if (c.errorOutput) started.push_back(errorFor(c.status));
    EXPECT_THAT(fake.processes.started(), ElementsAreArray(started)) << c.what;
    EXPECT_FALSE(fake.files.has(kJob)) << c.what;
    EXPECT_FALSE(fake.files.has(kOutput)) << c.what;
  }
}

TEST(TestRunTest, StepsComeInTheirOrderWithOnePauseAfterLoading) {
  FakePlatform fake;
  fake.files.addFile(kJob);
  fake.files.addFile(kOutput, "output");
  fake.processes.scriptCapture(kStatus, std::vector<std::string>{"78\n"});
  fake.processes.scriptCapture(errorFor("78\n"), std::vector<std::string>{"Job failed (78)"});
  Platform platform = fake.platform();
  FakeCommandRunner commands(platform, kLaunchctl);

  runTestJob(platform, commands, kTest);

  EXPECT_THAT(
      fake.journal.entries(),
      ElementsAre("capture /bin/launchctl load -w " + kJob, "sleep 0.3",
                  support::journalLine("capture", kStatus), "capture /bin/launchctl error 78\n",
                  "read " + kOutput, "remove " + kJob, "remove " + kOutput));
}

TEST(TestRunTest, LoadOutputSkipsTheOutputFileButBothFilesAreDeleted) {
  FakePlatform fake;
  fake.files.addFile(kJob);
  fake.files.addFile(kOutput, "output");
  fake.processes.scriptCapture(kLoad, std::vector<std::string>{"Invalid job\n"});
  Platform platform = fake.platform();
  FakeCommandRunner commands(platform, kLaunchctl);

  EXPECT_EQ(runTestJob(platform, commands, kTest), "Invalid job\n");
  EXPECT_THAT(fake.journal.entries(),
              ElementsAre("capture /bin/launchctl load -w " + kJob, "sleep 0.3", "remove " + kJob,
                          "remove " + kOutput));
}

TEST(TestRunTest, AFailedDeletionIsLoggedAndTheOtherIsStillAttempted) {
  FakePlatform fake;
  fake.files.addFile(kOutput, "output");
  Platform platform = fake.platform();
  FakeCommandRunner commands(platform, kLaunchctl);

  EXPECT_EQ(runTestJob(platform, commands, kTest), "output");
  const auto& journal = fake.journal.entries();
  ASSERT_GE(journal.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(journal.end() - 3, journal.end()),
              ElementsAre("remove " + kJob, "log Tarnel X: Could not delete file: " + kJob,
                          "remove " + kOutput));
  EXPECT_FALSE(fake.files.has(kOutput));
}

TEST(TestRunTest, AFifoNamedAsOutputFileIsNeitherReadNorWaitedFor) {
  support::TemporaryFolder folder;
  const auto launchctl = folder.script("launchctl", R"(case "$1" in
  list) printf '101\t0\tcom.example.test\n' ;;
esac
)");
  const Action::Test test{.testPath = folder.file("test.plist", "<plist/>"),
                          .testOutputPath = folder.fifo("test.out"),
                          .string = "<plist/>",
                          .label = kLabel};
  FakePlatform fake;
  linux_platform::LinuxProcesses processes;
  linux_platform::LinuxFiles files;
  Platform platform{
      processes,          files,         fake.log, fake.clock, fake.processExit, fake.codeSigning,
      fake.authorization, fake.transport};
  FakeCommandRunner commands(platform, launchctl);

  EXPECT_EQ(runTestJob(platform, commands, test), "");
  EXPECT_FALSE(std::filesystem::exists(test.testPath));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(test.testOutputPath)));
}

}  // namespace
}  // namespace tarnel
