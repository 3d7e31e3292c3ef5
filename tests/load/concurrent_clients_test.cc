// Many signed clients at once, each with a long run of mixed requests: every request is answered
// exactly once, in order, with its own answer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/load/signed_daemon.h"

namespace tarnel::support::load {
namespace {

constexpr int kClients = 64;
constexpr int kRequestsEach = 200;

// Requests whose answers need no launchctl, with the answer load-client prints for each.
struct Kind {
  std::string request;
  std::string answer;
};

std::vector<Kind> mixedKinds(const SignedDaemon& daemon) {
  const auto link = daemon.folder().link("job.plist", daemon.folder().path("elsewhere.plist"));
  return {
      {"invalid", "error 1"},
      {"missing", "error 4"},
      {"link:" + link, "error 8"},
      {"endpoint", "endpoint " + daemon.socketPath()},
  };
}

TEST(LoadTest, SixtyFourClientsOfTwoHundredMixedRequestsEachGetEveryAnswerOnce) {
  SignedDaemon daemon;
  const auto kinds = mixedKinds(daemon);
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<std::string> expected;
  for (int c = 0; c < kClients; ++c) {
    // Each client starts the cycle of kinds at another place.
    std::vector<std::string> arguments{"requests", daemon.socketPath(),
                                       std::to_string(kRequestsEach)};
    std::string transcript = "ready\n";
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      arguments.push_back(kinds[(c + k) % kinds.size()].request);
    }
    for (int id = 1; id <= kRequestsEach; ++id) {
      transcript += std::to_string(id) + " " + kinds[(c + id - 1) % kinds.size()].answer + "\n";
    }
    expected.push_back(transcript + "end\n");
    clients.push_back(std::make_unique<Client>(daemon, arguments));
  }
  for (int c = 0; c < kClients; ++c) {
    EXPECT_EQ(clients[c]->rest(), expected[c]) << "client " << c;
  }
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

}  // namespace
}  // namespace tarnel::support::load
