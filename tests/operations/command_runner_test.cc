#include "operations/command_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/reply.h"
#include "operations/status_pipeline.h"
#include "tests/support/fake_platform.h"

namespace tarnel {
namespace {

using support::FakePlatform;
using ::testing::ElementsAre;

constexpr const char* kLaunchctl = "/bin/launchctl";

Dictionary codeError(std::int64_t code) {
  return Dictionary{{0, Dictionary{{"domain", "com.quorvant.xpc.error.domain"}, {"code", code}}}};
}

TEST(RunLaunchctlTest, EachVerbPassesItsArgumentsAndFailsWithItsOwnCode) {
  const struct {
    LaunchctlVerb verb;
    std::string argument;
    std::vector<std::string> commandLine;
    std::int64_t codeOnFailure;
  } cases[] = {
      {LaunchctlVerb::load,
       "/Library/My Jobs/job.plist",
       {kLaunchctl, "load", "-w", "/Library/My Jobs/job.plist"},
       6},
      {LaunchctlVerb::remove, "com.example.job", {kLaunchctl, "remove", "com.example.job"}, 5},
      {LaunchctlVerb::remove, "", {kLaunchctl, "remove", ""}, 5},
      {LaunchctlVerb::unload,
       "-x; rm -rf '$HOME'",
       {kLaunchctl, "unload", "-w", "-x; rm -rf '$HOME'"},
       7},
  };
  // A tool that cannot be started fails as one that exits with an error does.
  const std::optional<int> failures[] = {1, 78, 255, std::nullopt};
  for (const auto& c : cases) {
    {
      FakePlatform fake;
      Platform platform = fake.platform();
      EXPECT_TRUE(runLaunchctl(platform, kLaunchctl, c.verb, c.argument).has_value());
      EXPECT_THAT(fake.processes.started(), ElementsAre(c.commandLine));
    }
    for (const auto& failure : failures) {
      FakePlatform fake;
      fake.processes.scriptRun(c.commandLine, failure);
      Platform platform = fake.platform();
      EXPECT_EQ(runLaunchctl(platform, kLaunchctl, c.verb, c.argument),
                std::unexpected(codeError(c.codeOnFailure)))
          << c.commandLine[1] << " " << failure.value_or(-1);
      // The runner logs nothing itself.
      EXPECT_EQ(fake.journal.entries().size(), 1u);
    }
  }
}

TEST(RunCapturingOutputTest, EachCommandStartsItsProgramWithItsArguments) {
  const struct {
    CaptureCommand command;
    std::string argument;
    std::vector<std::string> commandLine;
  } cases[] = {
      {CaptureCommand::loadJob,
       "/tmp/test job.plist",
       {kLaunchctl, "load", "-w", "/tmp/test job.plist"}},
      {CaptureCommand::exitStatus,
       "com.example.job",
       {"/bin/sh", "-c", statusPipelineText(kLaunchctl, "com.example.job")}},
      {CaptureCommand::errorText, "78\n", {kLaunchctl, "error", "78\n"}},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.processes.scriptCapture(c.commandLine, std::vector<std::string>{"printed"});
    Platform platform = fake.platform();
    EXPECT_EQ(runCapturingOutput(platform, kLaunchctl, c.command, c.argument), "printed");
    EXPECT_THAT(fake.processes.started(), ElementsAre(c.commandLine));
  }
}

TEST(RunCapturingOutputTest, ReadsAreDecodedOneByOneAndAnUndecodableReadIsDropped) {
  const std::string a1022(1022, 'a');
  const std::string a1023(1023, 'a');
  const struct {
    const char* what;
    std::optional<std::vector<std::string>> chunks;
    std::string expected;
  } cases[] = {
      {"cannot start", std::nullopt, ""},
      {"prints nothing", std::vector<std::string>{}, ""},
      {"several writes", std::vector<std::string>{"one\n", "two\n", "three"}, "one\ntwo\nthree"},
      {"longer than one read", std::vector<std::string>{std::string(5000, 'x')},
       std::string(5000, 'x')},
      {"a lone bad byte", std::vector<std::string>{"before ", "\xff", "after"}, "before after"},
      {"split character", std::vector<std::string>{"caf\xc3", "\xa9 au lait"}, ""},
      // Reads of 1024 bytes: the two-byte "é" ends the first read exactly, or is cut by it.
      {"fits the read", std::vector<std::string>{a1022 + "é" + "tail"}, a1022 + "é" + "tail"},
      {"cut by the read", std::vector<std::string>{a1023 + "é" + std::string(1023, 'b') + "tail"},
       "tail"},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.processes.scriptCapture({kLaunchctl, "error", "1\n"}, c.chunks);
    Platform platform = fake.platform();
    EXPECT_EQ(runCapturingOutput(platform, kLaunchctl, CaptureCommand::errorText, "1\n"),
              c.expected)
        << c.what;
  }
}

TEST(RunCapturingOutputTest, TheTextStopsGrowingAtItsLimit) {
  FakePlatform fake;
  const std::string block(1024, 'a');
  std::vector<std::string> chunks(kMaximumCapturedBytes / block.size(), block);
  chunks.push_back("past the limit");
  fake.processes.scriptCapture({kLaunchctl, "load", "-w", "/job"}, chunks);
  Platform platform = fake.platform();

  const auto text = runCapturingOutput(platform, kLaunchctl, CaptureCommand::loadJob, "/job");

  EXPECT_EQ(text.size(), kMaximumCapturedBytes);
  EXPECT_EQ(text.find_first_not_of('a'), std::string::npos);
}

}  // namespace
}  // namespace tarnel
