#include "platform/linux/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {
namespace {

// What has arrived at `descriptor` so far, without waiting for more.
std::string pending(int descriptor) {
  std::string text;
  char buffer[256];
  for (;;) {
    const auto count = ::read(descriptor, buffer, sizeof buffer);
    if (count <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

TEST(LinuxLogTest, ATerminalSeesEachEventOnOneLineWithControlsEscaped) {
  int controller = -1;
  int terminal = -1;
  ASSERT_EQ(::openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
  UniqueFd controllerEnd(controller);
  UniqueFd terminalEnd(terminal);
  termios mode{};
  ASSERT_EQ(::tcgetattr(terminal, &mode), 0);
  ::cfmakeraw(&mode);
  ASSERT_EQ(::tcsetattr(terminal, TCSANOW, &mode), 0);

  LinuxLog log("tarnel-log-test", terminal);
  log.write("Tarnel X: Could not delete file: /tmp/job.plist");
  log.write("Tarnel X: Could not write to file: /tmp/a\nCan't set user/group to root:wheel\x1b[2J");
  log.write("Can't set user/group to root:wheel");

  ASSERT_EQ(::fcntl(controller, F_SETFL, O_NONBLOCK), 0);
  EXPECT_EQ(pending(controller),
            "Tarnel X: Could not delete file: /tmp/job.plist\n"
            "Tarnel X: Could not write to file: /tmp/a\\x0aCan't set user/group to "
            "root:wheel\\x1b[2J\n"
            "Can't set user/group to root:wheel\n");
}

TEST(LinuxLogTest, NothingIsMirroredWhereThereIsNoTerminal) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  UniqueFd reading(ends[0]);
  UniqueFd writing(ends[1]);

  LinuxLog log("tarnel-log-test", writing.get());
  log.write("Tarnel X: Could not unload path: /tmp/job.plist");

  EXPECT_EQ(pending(reading.get()), "");
}

}  // namespace
}  // namespace tarnel::linux_platform
