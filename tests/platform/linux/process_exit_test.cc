#include "platform/linux/process_exit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/log.h"

namespace tarnel::linux_platform {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

void announceExitHandlers() { std::fputs("exit handlers ran\n", stderr); }

void bufferAndExit() {
  static char buffer[4096];
  std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
  std::atexit(announceExitHandlers);
  std::fputs("buffered line\n", stderr);
  LinuxLog log;
  LinuxTransport transport(log, "/nonexistent");
  LinuxProcessExit(transport).exit(3);
}

TEST(LinuxProcessExitTest, FlushesBufferedStreamsAndSkipsExitHandlers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(bufferAndExit(), ::testing::ExitedWithCode(3),
              AllOf(HasSubstr("buffered line"), Not(HasSubstr("exit handlers ran"))));
}

}  // namespace
}  // namespace tarnel::linux_platform
