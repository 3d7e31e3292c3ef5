// A launchctl that never exits holds up the one request that ran it, and with it only that
// request's connection, in whose order the later calls wait.
#include <gtest/gtest.h>

#include <string>

#include "tests/load/signed_daemon.h"
#include "tests/support/child_processes.h"

namespace tarnel::support::load {
namespace {

TEST(FaultTest, ALaunchctlThatNeverExitsHoldsUpOnlyItsOwnConnection) {
  // It notes its arguments and its process id, then waits for ever in the process it was.
  SignedDaemon daemon({.launchctl = "echo \"$$ $*\" >> @FOLDER@/launchctl-calls\n"
                                    "exec /bin/sleep 100000\n"});
  const auto calls = daemon.folder().path("launchctl-calls");
  const auto job = daemon.folder().file("job.plist", "<plist/>");

  Client stalled(daemon, {"requests", daemon.socketPath(), "2", "load:" + job, "endpoint"});
  ASSERT_EQ(stalled.line(), "ready");
  ASSERT_TRUE(eventually([&] { return !contentsOf(calls).empty(); }));
  const auto noted = contentsOf(calls);
  const auto launchctl = static_cast<pid_t>(std::stol(noted));
  EXPECT_EQ(noted.substr(noted.find(' ') + 1), "load -w " + job + "\n");

  // Other connections are served meanwhile, each in full.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Client(daemon, {"requests", daemon.socketPath(), "2", "endpoint", "invalid"}).rest(),
              "ready\n1 endpoint " + daemon.socketPath() + "\n2 error 1\nend\n");
  }
  // The stalled connection has had no answer, not even to its second call.
  EXPECT_FALSE(stalled.printedMore());
  EXPECT_FALSE(processEnded(launchctl));

  // Ending the daemon ends what it started: nothing is left running.
  daemon.stop();
  EXPECT_TRUE(eventually([&] { return processEnded(launchctl); }));
}

}  // namespace
}  // namespace tarnel::support::load
