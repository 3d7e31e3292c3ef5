// A user of the machine turned hostile against the daemon: holding every connection it can,
// sending large requests all at once; and the end of the daemon with requests running.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/load/signed_daemon.h"

namespace tarnel::support::load {
namespace {

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 4242;

std::string servedTranscript(const SignedDaemon& daemon) {
  return "ready\n1 endpoint " + daemon.socketPath() + "\n2 error 1\nend\n";
}
std::vector<std::string> servedRequests(const SignedDaemon& daemon) {
  return {"requests", daemon.socketPath(), "2", "endpoint", "invalid"};
}

TEST(FairServiceTest, AUserHoldingAllItCanKeepsNeitherOtherUsersNorRootOut) {
  SignedDaemon daemon;
  // It asks for every connection the daemon serves: it is given its share.
  Client holder(daemon, {"hold", daemon.socketPath(), "256"}, {}, kNobody);
  ASSERT_EQ(holder.line(), "served 32");
  EXPECT_EQ(Client(daemon, servedRequests(daemon), {}, kNobody).rest(), "no ready frame\n");
  EXPECT_EQ(Client(daemon, servedRequests(daemon), {}, kOtherUser).rest(),
            servedTranscript(daemon));
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));
  holder.release();
  EXPECT_EQ(holder.rest(), "");
}

// Eight users hold all they can of a daemon whose descriptors a service manager limited to 1024
// (the serving tests show the attack against shares that ignore the limit): the shares, sized
// from the limit, run out before the descriptors do, root is served, and once the users leave so
// is everyone again.
TEST(FairServiceTest, EightUsersHoldingAllTheyCanUnderADescriptorLimitLeaveRootServed) {
  SignedDaemon daemon({.descriptorLimit = 1024});
  std::vector<std::unique_ptr<Client>> holders;
  for (uid_t user = 5000; user < 5008; ++user) {
    holders.push_back(std::make_unique<Client>(
        daemon, std::vector<std::string>{"hold", daemon.socketPath(), "256"},
        std::optional<MadeBeforeExec>(), user));
    const auto served = holders.back()->line();
    EXPECT_TRUE(served && served->starts_with("served ") && *served != "served 0")
        << served.value_or("nothing");
  }
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));
  for (auto& holder : holders) holder->release();
  holders.clear();
  EXPECT_EQ(Client(daemon, servedRequests(daemon), {}, kNobody).rest(), servedTranscript(daemon));
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

// 48 requests of nearly 16 MiB at once would take 1.5 GiB decoded side by side; the daemon
// reads and decodes as many at a time as its frame budget holds, and answers every one.
TEST(FairServiceTest, LargeRequestsAllAtOnceAreAllAnsweredWithinTheBudget) {
  SignedDaemon daemon({.memory = DaemonOptions::Memory::measured});
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 48; ++i) {
    clients.push_back(std::make_unique<Client>(
        daemon, std::vector<std::string>{"requests", daemon.socketPath(), "1", "large"}));
  }
  // Too many characters for a job text: each save is answered "missing payload".
  for (auto& client : clients) EXPECT_EQ(client->rest(), "ready\n1 error 4\nend\n");
  const auto peak = daemon.use().peakResidentKiB;
  EXPECT_LT(peak, 256u * 1024) << "the daemon held " << peak / 1024 << " MiB at its peak";
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

// The process ends after a refused authorization; a request running on another connection
// finishes and is answered first, and then the process exits with status 0.
TEST(FairServiceTest, TheEndWaitsForRequestsRunningOnOtherConnections) {
  SignedDaemon daemon({.launchctl = "echo started >> @FOLDER@/launchctl-calls\n"
                                    "sleep 2\nexit 0\n"});
  const auto calls = daemon.folder().path("launchctl-calls");
  const auto job = daemon.folder().file("job.plist", "<plist/>");
  Client running(daemon, {"requests", daemon.socketPath(), "1", "load:" + job});
  ASSERT_EQ(running.line(), "ready");
  ASSERT_TRUE(eventually([&] { return !contentsOf(calls).empty(); }));

  Client refused(daemon, {"requests", daemon.socketPath(), "1", "privileged:" + job});
  EXPECT_EQ(refused.rest(), "ready\n1 error 2\nend\n");
  EXPECT_EQ(running.rest(), "1 success\nend\n");
  EXPECT_EQ(daemon.waitForExit(), 0);
}

}  // namespace
}  // namespace tarnel::support::load
