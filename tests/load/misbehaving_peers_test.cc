// Peers that break off, say nothing, send too much, crowd the daemon to its limit or leave before
// they are judged: the daemon goes on serving the others, refuses cleanly, and gives back what
// each connection took.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/wire/frame_io.h"
#include "tests/load/signed_daemon.h"

namespace tarnel::support::load {
namespace {

// Resident memory that the daemon may keep above its resting level once every connection has
// ended: what its allocator keeps for the connection threads' arenas, far below the 64 MiB that
// four frames of 16 MiB took meanwhile. ThreadSanitizer's runtime keeps records of its own about
// ended threads and freed memory, some 50 MiB here, which count as the daemon's.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kMemoryKeptKiB = 96 * 1024;
#else
constexpr std::size_t kMemoryKeptKiB = 16 * 1024;
#endif

std::string servedTranscript(const SignedDaemon& daemon) {
  return "ready\n1 endpoint " + daemon.socketPath() + "\n2 error 1\n3 error 4\nend\n";
}
std::vector<std::string> servedRequests(const SignedDaemon& daemon) {
  return {"requests", daemon.socketPath(), "3", "endpoint", "invalid", "missing"};
}

TEST(FaultTest, PeersThatBreakOffCostTheOthersNothingAndGiveBackWhatTheyTook) {
  SignedDaemon daemon({.memory = DaemonOptions::Memory::measured});
  // The first request compiles the client requirement and sets up what validation needs once.
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));
  const auto idle = daemon.restingUse();

  const struct {
    const char* mode;
    int count;
    std::string transcript;
  } peers[] = {
      {"silent", 8, "ready\n"},
      {"half", 8, "ready\n"},
      // Cut off at the length: the daemon reads none of the 16 MiB that follow.
      {"oversize", 4, "ready\ncut off sending\nclosed\n"},
      // Read whole, then cut off: it is no call.
      {"largest", 4, "ready\nsent whole\nclosed\n"},
  };
  std::vector<std::unique_ptr<Client>> started;
  for (const auto& peer : peers) {
    for (int i = 0; i < peer.count; ++i) {
      started.push_back(std::make_unique<Client>(
          daemon, std::vector<std::string>{peer.mode, daemon.socketPath()}));
    }
  }
  // Unsigned peers that say nothing are refused without a word.
  std::vector<linux_platform::UniqueFd> unsigned_;
  for (int i = 0; i < 8; ++i) {
    auto socket = linux_platform::connectTo(daemon.socketPath());
    ASSERT_TRUE(socket.has_value());
    unsigned_.push_back(std::move(*socket));
  }
  // Meanwhile a well-behaved client is served in full.
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));

  for (auto& socket : unsigned_) {
    const auto frame = linux_platform::readFrame(socket.get());
    EXPECT_FALSE(frame.has_value()) << "an unsigned peer was answered";
  }
  std::size_t next = 0;
  for (const auto& peer : peers) {
    for (int i = 0; i < peer.count; ++i, ++next) {
      auto& client = *started[next];
      if (std::string(peer.mode) == "silent") {
        EXPECT_EQ(client.line(), "ready");
        client.release();
        EXPECT_EQ(client.rest(), "");
      } else {
        EXPECT_EQ(client.rest(), peer.transcript) << peer.mode;
      }
    }
  }
  unsigned_.clear();

  ProcessUse after;
  EXPECT_TRUE(daemon.settlesTo(idle, after))
      << "threads " << after.threads << " (" << idle.threads << " at rest), descriptors "
      << after.descriptors << " (" << idle.descriptors << ")";
  EXPECT_LE(after.residentKiB, idle.residentKiB + kMemoryKeptKiB)
      << "resident " << after.residentKiB << " KiB, " << idle.residentKiB << " KiB at rest";
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

TEST(FaultTest, ConnectionsPastTheLimitAreRefusedCleanlyAndServedAgainOnceOthersEnd) {
  SignedDaemon daemon;
  Client holder(daemon, {"hold", daemon.socketPath(), "256"});
  ASSERT_EQ(holder.line(), "served 256");

  // A signed client past the limit: closed unread, before it could be judged.
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), "no ready frame\n");
  EXPECT_TRUE(daemon.running()) << daemon.log();

  holder.release();
  EXPECT_EQ(holder.rest(), "");
  // Served again once the held connections have been let go of.
  std::string transcript;
  EXPECT_TRUE(eventually([&] {
    transcript = Client(daemon, servedRequests(daemon)).rest();
    return transcript != "no ready frame\n";
  }));
  EXPECT_EQ(transcript, servedTranscript(daemon));
}

TEST(FaultTest, APeerGoneBeforeItIsJudgedIsRefusedAndItsQueuedCallNeverRuns) {
  SignedDaemon daemon;
  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));
  const auto idle = daemon.restingUse();
  const auto reapedVictim = daemon.folder().file("reaped-victim", "kept");
  const auto zombieVictim = daemon.folder().file("zombie-victim", "kept");

  // While the daemon is stopped, each peer connects, queues a call to delete a file and exits:
  // one is reaped at once, one stays a zombie until the daemon has judged it.
  daemon.pause();
  Client reaped(daemon, {"vanish", daemon.socketPath(), "delete:" + reapedVictim});
  reaped.waitForExit(Client::Reaping::reap);
  Client zombie(daemon, {"vanish", daemon.socketPath(), "delete:" + zombieVictim});
  zombie.waitForExit(Client::Reaping::leaveZombie);
  daemon.resume();

  EXPECT_EQ(Client(daemon, servedRequests(daemon)).rest(), servedTranscript(daemon));
  ProcessUse after;
  EXPECT_TRUE(daemon.settlesTo(idle, after));
  EXPECT_EQ(contentsOf(reapedVictim), "kept");
  EXPECT_EQ(contentsOf(zombieVictim), "kept");
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

}  // namespace
}  // namespace tarnel::support::load
