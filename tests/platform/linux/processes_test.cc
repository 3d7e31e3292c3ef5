#include "platform/linux/processes.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "tests/support/child_processes.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

using tarnel::support::childProcesses;
using tarnel::support::contentsOf;
using tarnel::support::eventually;
using tarnel::support::processExists;
using tarnel::support::TemporaryFolder;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kShell = "/bin/sh";

std::string readToEnd(OutputPipe& pipe) {
  std::string text;
  for (auto chunk = pipe.read(1024); !chunk.empty(); chunk = pipe.read(1024)) {
    EXPECT_LE(chunk.size(), 1024u);
    text.append(chunk.begin(), chunk.end());
  }
  return text;
}

std::string capture(const std::string& program, const std::vector<std::string>& arguments) {
  LinuxProcesses processes;
  auto pipe = processes.runCapturing(program, arguments);
  if (!pipe) {
    ADD_FAILURE() << program << " did not start";
    return {};
  }
  return readToEnd(*pipe);
}

TEST(LinuxProcessesTest, RunReportsTheExitStatusOrTheNumberOfTheEndingSignal) {
  const struct {
    const char* script;
    int status;
  } cases[] = {
      {"exit 0", 0},
      {"exit 1", 1},
      {"exit 78", 78},
      {"exit 255", 255},
      {"kill -KILL $$", SIGKILL},
      {"kill -TERM $$", SIGTERM},
  };
  LinuxProcesses processes;
  for (const auto& c : cases) {
    EXPECT_EQ(processes.run(kShell, {"-c", c.script}), c.status) << c.script;
  }
  EXPECT_THAT(childProcesses(), IsEmpty());
}

TEST(LinuxProcessesTest, AProgramThatCannotStartIsToldApartFromOneThatFails) {
  TemporaryFolder folder;
  const auto notExecutable = folder.file("plain", "#!/bin/sh\nexit 0\n", 0644);
  const struct {
    std::string program;
    std::vector<std::string> arguments;
  } cases[] = {
      {folder.path("missing"), {}},
      {folder.root(), {}},
      {notExecutable, {}},
      {std::string("/bin/sh\0x", 9), {"-c", "exit 0"}},
      {kShell, {"-c", std::string("exit 0\0; exit 1", 15)}},
  };
  LinuxProcesses processes;
  for (const auto& c : cases) {
    EXPECT_EQ(processes.run(c.program, c.arguments), std::nullopt) << c.program;
    EXPECT_EQ(processes.runCapturing(c.program, c.arguments), nullptr) << c.program;
  }
  EXPECT_TRUE(eventually([] { return childProcesses().empty(); }));
}

TEST(LinuxProcessesTest, ArgumentsArrivePreciselyAsGiven) {
  const std::vector<std::string> arguments = {"",   "two words", "'quoted'", "$HOME", "a\nb",
                                              "-n", "*",         "\\",       "é"};
  std::vector<std::string> printfArguments{"[%s]"};
  printfArguments.insert(printfArguments.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(capture("/usr/bin/printf", printfArguments),
            "[][two words]['quoted'][$HOME][a\nb][-n][*][\\][é]");
}

TEST(LinuxProcessesTest, EnvironmentAndWorkingFolderAreInherited) {
  ASSERT_EQ(::setenv("TARNEL_PROBE", "inherited value", 1), 0);
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  EXPECT_EQ(capture(kShell, {"-c", "echo \"$TARNEL_PROBE\"; pwd"}),
            "inherited value\n" + std::string(here) + "\n");
  ::unsetenv("TARNEL_PROBE");
}

TEST(LinuxProcessesTest, StandardErrorIsInterleavedWithStandardOutputInWritingOrder) {
  EXPECT_EQ(capture(kShell, {"-c", "echo one; echo two >&2; echo three; echo four >&2"}),
            "one\ntwo\nthree\nfour\n");
}

TEST(LinuxProcessesTest, OutputLongerThanOneReadComesWholeAndInOrder) {
  std::string expected;
  for (int line = 0; line < 2000; ++line) expected += "line " + std::to_string(line) + "\n";
  EXPECT_EQ(capture(kShell, {"-c",
                             "i=0; while [ $i -lt 2000 ]; do echo \"line $i\"; "
                             "i=$((i+1)); done"}),
            expected);
}

TEST(LinuxProcessesTest, TheChildInheritsTheStandardStreamsAndNoOtherDescriptor) {
  // A descriptor opened without close-on-exec, as careless code elsewhere might.
  UniqueFd stray(::open("/dev/null", O_RDONLY));
  ASSERT_TRUE(stray);
  constexpr int kStrayNumber = 57;
  ASSERT_EQ(::dup2(stray.get(), kStrayNumber), kStrayNumber);
  UniqueFd strayCopy(kStrayNumber);

  const auto listing = capture(kShell, {"-c", "ls /proc/$$/fd"});
  EXPECT_THAT(listing, ::testing::HasSubstr("1\n"));
  EXPECT_THAT(listing, Not(::testing::HasSubstr(std::to_string(kStrayNumber))));
}

TEST(LinuxProcessesTest, TheChildStartsWithDefaultSignalsWhateverTheHelperBlocksOrIgnores) {
  sigset_t terminate;
  sigemptyset(&terminate);
  sigaddset(&terminate, SIGTERM);
  sigset_t previousMask;
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &terminate, &previousMask), 0);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previousAction {};
  ASSERT_EQ(::sigaction(SIGTERM, &ignore, &previousAction), 0);

  LinuxProcesses processes;
  const auto status = processes.run(kShell, {"-c", "kill -TERM $$; exit 0"});

  ::sigaction(SIGTERM, &previousAction, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  EXPECT_EQ(status, SIGTERM);
}

TEST(LinuxProcessesTest, HundredsOfCapturingRunsLeaveNoChildBehind) {
  LinuxProcesses processes;
  for (int run = 0; run < 300; ++run) {
    auto pipe = processes.runCapturing(kShell, {"-c", "echo one; yes | head -c 100000"});
    ASSERT_NE(pipe, nullptr);
    // Half the callers read to the end; the others give up after the first read, so the child
    // meets a closed pipe.
    if (run % 2 == 0) {
      EXPECT_EQ(readToEnd(*pipe).size(), 4u + 100000u);
    } else {
      EXPECT_FALSE(pipe->read(1024).empty());
    }
  }
  EXPECT_TRUE(eventually([] { return childProcesses().empty(); }))
      << childProcesses().size() << " children left";
}

TEST(LinuxProcessesTest, AChildThatClosesItsOutputAndRunsOnDoesNotHoldTheCaller) {
  TemporaryFolder folder;
  const auto pidFile = folder.path("pid");
  LinuxProcesses processes;
  auto reading = std::async(std::launch::async, [&] {
    auto pipe = processes.runCapturing(
        kShell, {"-c", "echo $$ > " + pidFile + "; echo gone; exec >&- 2>&-; exec sleep 1000"});
    return pipe ? readToEnd(*pipe) : std::string("not started");
  });

  const bool returned = reading.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
  const auto pid = static_cast<pid_t>(std::atoi(contentsOf(pidFile).c_str()));
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(processExists(pid));
  ::kill(pid, SIGKILL);
  EXPECT_TRUE(returned);
  if (returned) {
    EXPECT_EQ(reading.get(), "gone\n");
  }
  // Its reaper collects it once it ends.
  EXPECT_TRUE(eventually([pid] { return !processExists(pid); }));
}

}  // namespace
}  // namespace tarnel::linux_platform
