// The accept loop against peers that try to shut others out: by stalling their own validation,
// by holding connections until the process is out of descriptors, and by connecting while the
// server ends. Each attack is shown first against an ordinary loop, then against ours.
#include "platform/linux/serving/connection_acceptor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/serving/server_loop.h"
#include "platform/linux/serving/time_limits.h"
#include "tests/support/eventually.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/used_up_descriptors.h"

namespace tarnel::linux_platform {
namespace {

constexpr uid_t kNobody = 65534;
constexpr char kServed = 'S';

// A connection made as `user`: the kernel records the effective user of the connecting thread,
// so a thread of its own takes it on for the connect (the raw call changes that thread alone).
UniqueFd connectAs(const std::string& path, uid_t user) {
  UniqueFd made;
  std::thread([&] {
    if (::syscall(SYS_setresuid, -1, user, -1) != 0) return;
    if (auto connected = connectTo(path)) made = std::move(*connected);
    ::syscall(SYS_setresuid, -1, 0, -1);
  }).join();
  EXPECT_TRUE(made) << "cannot connect as user " << user;
  return made;
}

// A socket made now and connected as root later: the test serves and connects in one process,
// and a connect needs no descriptor of its own.
class LaterConnection {
 public:
  LaterConnection() : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  int connect(const std::string& path) {
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    return socket_.get();
  }

 private:
  UniqueFd socket_;
};

// Whether the server served the connection (its handler's mark arrived) within the time given.
bool served(int socketFd, std::chrono::milliseconds within = std::chrono::seconds(3)) {
  pollfd ready{.fd = socketFd, .events = POLLIN, .revents = 0};
  if (socketFd < 0 || ::poll(&ready, 1, static_cast<int>(within.count())) != 1) return false;
  char mark = 0;
  return ::recv(socketFd, &mark, 1, 0) == 1 && mark == kServed;
}

// Serves without judging: marks the connection served and holds it until its peer leaves.
void hold(const std::shared_ptr<AcceptedConnection>& connection) {
  connection->validated();
  if (::send(connection->socket(), &kServed, 1, MSG_NOSIGNAL) != 1) return;
  char ignored = 0;
  while (::recv(connection->socket(), &ignored, 1, 0) > 0) {
  }
}

// Judging a peer reads it: two descriptors here, as the /proc reads take theirs. A connection
// that cannot be judged is refused. A served one is held until its peer leaves.
void judgeAndHold(const std::shared_ptr<AcceptedConnection>& connection) {
  const UniqueFd first(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const UniqueFd second(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (first && second) hold(connection);
}

// Eight users, each a process of its own made before anything is served, so that none holds a
// copy of another's connections. Told to, each asks for `wanted` connections to `path` and holds
// those it is served, until leave().
class HoldingUsers {
 public:
  HoldingUsers(const std::string& path, int wanted) {
    for (uid_t user = 5000; user < 5008; ++user) {
      int go[2] = {-1, -1};
      int counted[2] = {-1, -1};
      if (::pipe2(go, O_CLOEXEC) != 0 || ::pipe2(counted, O_CLOEXEC) != 0) ADD_FAILURE();
      const pid_t child = ::fork();
      if (child == 0) {
        users_.clear();  // the other users' pipes: held here too, they would never see their end
        ::close(go[1]);
        ::close(counted[0]);
        runUser(user, path, wanted, go[0], counted[1]);
      }
      ::close(go[0]);
      ::close(counted[1]);
      users_.push_back({child, UniqueFd(go[1]), UniqueFd(counted[0])});
    }
  }
  ~HoldingUsers() { leave(); }

  // How many connections each was served.
  std::vector<int> hold() {
    std::vector<int> served;
    for (auto& user : users_) EXPECT_EQ(::write(user.go.get(), "", 1), 1);
    for (auto& user : users_) {
      int count = -1;
      EXPECT_EQ(::read(user.counted.get(), &count, sizeof count), ssize_t{sizeof count});
      served.push_back(count);
    }
    return served;
  }
  void leave() {
    for (auto& user : users_) {
      user.go.reset();
      ::waitpid(user.pid, nullptr, 0);
    }
    users_.clear();
  }

 private:
  struct User {
    pid_t pid;
    UniqueFd go;
    UniqueFd counted;
  };

  [[noreturn]] static void runUser(uid_t user, const std::string& path, int wanted, int go,
                                   int counted) {
    char signal = 0;
    if (::setresuid(user, user, user) != 0 || ::read(go, &signal, 1) != 1) ::_exit(1);
    std::vector<UniqueFd> held;
    int count = 0;
    for (int i = 0; i < wanted; ++i) {
      auto connection = connectTo(path);
      if (!connection) continue;
      if (served(connection->get(), std::chrono::milliseconds(200))) ++count;
      held.push_back(std::move(*connection));
    }
    if (::write(counted, &count, sizeof count) != sizeof count) ::_exit(1);
    while (::read(go, &signal, 1) > 0) {
    }
    ::_exit(0);
  }

  std::vector<User> users_;
};

class ConnectionAcceptorTest : public ::testing::Test {
 protected:
  ~ConnectionAcceptorTest() override {
    if (loopThread.joinable()) {
      loop.stop();
      loopThread.join();
    }
    acceptor.reset();
  }

  UniqueFd listen() {
    auto socket = listenAt(path);
    EXPECT_TRUE(socket.has_value());
    return std::move(*socket);
  }
  // Serves `listening`; without `start`, not until acceptor->start().
  void serve(UniqueFd listening, ShareSizes sizes, ConnectionAcceptor::Handler handler,
             bool start = true) {
    acceptor = std::make_shared<ConnectionAcceptor>(std::move(listening), sizes, gate,
                                                    std::move(handler), loop.wake());
    loop.add(acceptor);
    if (start) acceptor->start();
    loopThread = std::thread([this] { loop.run(); });
  }

  // Open to the users the test connects as.
  support::TemporaryFolder folder;
  std::string path = folder.path("socket");
  // Where a stalled validation waits, as a read of a peer blocked in the kernel would, until the
  // test releases it; the connections' threads end before it goes.
  struct Stall {
    void wait() {
      std::unique_lock lock(mutex);
      released.wait(lock, [this] { return open; });
    }
    void release() {
      std::lock_guard lock(mutex);
      open = true;
      released.notify_all();
    }
    void reset() {
      std::lock_guard lock(mutex);
      open = false;
    }
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
  } stall;
  RequestGate gate;
  ServerLoop loop;
  std::shared_ptr<ConnectionAcceptor> acceptor;
  std::thread loopThread;
};

// A peer whose validation stalls (its /proc reads blocked on a filesystem it controls) keeps an
// ordinary loop, which judges on the loop, from ever reaching root; ours judges on the
// connection's thread, and cuts it at the limit, giving its share back while the thread is still
// stuck, for as many stuck threads as the user may have.
TEST_F(ConnectionAcceptorTest, APeerStalledInItsValidationKeepsNobodyOut) {
  // The first two connections of nobody stall until the test ends.
  std::atomic<int> stalled = 0;
  const auto stallingNobody = [&](const std::shared_ptr<AcceptedConnection>& connection) {
    if (connection->user() == kNobody && stalled++ < 2) stall.wait();
    judgeAndHold(connection);
  };

  {
    const UniqueFd ordinary = listen();
    std::thread plainLoop([&] {
      for (int i = 0; i < 2; ++i) {
        pollfd waiting{.fd = ordinary.get(), .events = POLLIN, .revents = 0};
        ::poll(&waiting, 1, -1);
        UniqueFd socket(::accept4(ordinary.get(), nullptr, nullptr, SOCK_CLOEXEC));
        const auto user = ConnectionShares::userAt(socket.get()).value_or(0);
        stallingNobody(
            std::make_shared<AcceptedConnection>(std::move(socket), user, gate, *gate.admit()));
      }
    });
    const auto staller = connectAs(path, kNobody);
    const auto root = connectAs(path, 0);
    EXPECT_FALSE(served(root.get(), std::chrono::seconds(1)));
    stall.release();
    ::shutdown(staller.get(), SHUT_RDWR);
    ::shutdown(root.get(), SHUT_RDWR);
    plainLoop.join();
    std::filesystem::remove(path);
  }

  stall.reset();
  stalled = 0;
  serve(listen(), ShareSizes{.connections = 8, .perUser = 2, .stuck = 4, .stuckPerUser = 1},
        stallingNobody);
  const auto stallers = {connectAs(path, kNobody), connectAs(path, kNobody)};
  EXPECT_TRUE(support::eventually([&] { return stalled == 2; }));
  const auto root = connectAs(path, 0);
  EXPECT_TRUE(served(root.get()));
  // Both are cut at the limit; one share comes back, the other stays with its stuck thread.
  for (const auto& staller : stallers) {
    EXPECT_FALSE(served(staller.get(), kValidationTimeLimit + std::chrono::seconds(2)));
  }
  const auto after = connectAs(path, kNobody);
  EXPECT_TRUE(served(after.get()));
  const auto overBound = connectAs(path, kNobody);
  EXPECT_FALSE(served(overBound.get()));
  stall.release();
}

// Eight users hold all they can under a low descriptor limit. Shares that ignore the limit let
// them take every descriptor, and root, though accepted, cannot be judged; shares sized from the
// limit stop them first, root is served, and once they leave so is everyone again.
TEST_F(ConnectionAcceptorTest, UsersHoldingAllTheyCanLeaveRootItsDescriptors) {
  constexpr DescriptorNeeds kNeeds{.perConnection = 3, .ownWork = 32};
  constexpr ShareSizes kWanted{.connections = 256, .perUser = 32, .stuck = 64, .stuckPerUser = 8};
  support::DescriptorLimit limit(192);
  const auto sizes = sizeShares(192, kNeeds, kWanted);
  {
    HoldingUsers users(path, 32);
    LaterConnection root;
    serve(listen(), kWanted, judgeAndHold);
    const auto held = users.hold();
    EXPECT_GT(std::accumulate(held.begin(), held.end(), 0), 8 * static_cast<int>(sizes.perUser));
    EXPECT_FALSE(served(root.connect(path)));
  }
  loop.stop();
  loopThread.join();
  acceptor.reset();
  std::filesystem::remove(path);

  HoldingUsers users(path, 32);
  LaterConnection root;
  serve(listen(), sizes, judgeAndHold);
  for (const int served : users.hold()) EXPECT_EQ(served, static_cast<int>(sizes.perUser));
  EXPECT_TRUE(served(root.connect(path)));
  users.leave();
  const auto afterThem = connectAs(path, kNobody);
  EXPECT_TRUE(served(afterThem.get()));
}

// The process out of descriptors for its own reasons: an ordinary accept fails; ours gives up
// its reserve to accept root, closes anyone else's, and serves everyone again once descriptors
// are back, nothing kept of the shortage.
TEST_F(ConnectionAcceptorTest, OutOfDescriptorsRootIsStillAccepted) {
  const UniqueFd listening = listen();
  const auto early = connectAs(path, kNobody);
  const auto root = connectAs(path, 0);
  std::optional<support::UsedUpDescriptors> usedUp(std::in_place);
  EXPECT_LT(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC), 0);
  EXPECT_EQ(errno, EMFILE);
  usedUp.reset();

  const auto user = connectAs(path, kNobody);
  const auto laterRoot = connectAs(path, 0);
  // Made before the shortage, as a server makes its own at start.
  serve(UniqueFd(::dup(listening.get())), ShareSizes{8, 2, 2, 1}, hold, /*start=*/false);
  usedUp.emplace();
  acceptor->start();
  EXPECT_FALSE(served(early.get()));
  EXPECT_TRUE(served(root.get()));
  // Without a reserve the rest wait in the queue, the loop not spinning on them.
  EXPECT_FALSE(served(user.get(), std::chrono::milliseconds(500)));
  usedUp.reset();
  EXPECT_TRUE(served(user.get()));
  EXPECT_TRUE(served(laterRoot.get()));
}

}  // namespace
}  // namespace tarnel::linux_platform
