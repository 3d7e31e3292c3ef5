#include "platform/linux/posix/program_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {
namespace {

constexpr const char* kShell = "/bin/sh";

int exitStatus(const std::expected<int, RunError>& waitStatus) {
  return waitStatus && WIFEXITED(*waitStatus) ? WEXITSTATUS(*waitStatus) : -1;
}

TEST(ProgramRunTest, TheChildGetsItsStandardStreamsAndNothingElse) {
  // A descriptor somebody opened without close-on-exec, and one passed on purpose.
  UniqueFd stray(::open("/dev/null", O_RDONLY));
  ASSERT_TRUE(stray);
  constexpr int kStrayNumber = 50;
  ASSERT_EQ(::dup2(stray.get(), kStrayNumber), kStrayNumber);
  const UniqueFd strayCopy(kStrayNumber);
  const std::string holdsStray = "test -e /proc/self/fd/" + std::to_string(kStrayNumber);

  // An ordinary fork and exec hands it on...
  const int ordinary = std::system(holdsStray.c_str());
  ASSERT_TRUE(WIFEXITED(ordinary));
  EXPECT_EQ(WEXITSTATUS(ordinary), 0);
  // ...ours does not.
  EXPECT_EQ(exitStatus(runAndWait(kShell, {"sh", "-c", holdsStray})), 1);

  // The streams are what was asked: input from /dev/null (cat ends at once), output captured.
  const auto joined = runCapturingOutput(kShell, {"sh", "-c", "echo out; cat; exit 3"},
                                         {.input = ChildStream::nullDevice()}, 1024);
  ASSERT_TRUE(joined.has_value());
  EXPECT_EQ(joined->output, "out\n");
  EXPECT_EQ(exitStatus(joined->waitStatus), 3);
}

TEST(ProgramRunTest, CapturedOutputStopsAtItsBoundAndTheChildEnds) {
  const auto run = runCapturingOutput(kShell, {"sh", "-c", "exec yes"}, {}, 10);
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->output, "y\ny\ny\ny\ny\n");
  ASSERT_TRUE(WIFSIGNALED(run->waitStatus));
  EXPECT_EQ(WTERMSIG(run->waitStatus), SIGPIPE);
}

TEST(ProgramRunTest, AProgramThatCannotStartSaysWhy) {
  const auto run = runAndWait("/nonexistent/program", {"program"});
  ASSERT_FALSE(run.has_value());
  EXPECT_EQ(run.error().kind, RunError::Kind::cannotStart);
  EXPECT_EQ(run.error().systemError, ENOENT);
}

}  // namespace
}  // namespace tarnel::linux_platform
