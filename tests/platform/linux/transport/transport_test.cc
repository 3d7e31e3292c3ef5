#include "platform/linux/transport/transport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <latch>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/serving/time_limits.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/transport/service_client.h"
#include "platform/linux/wire/cbor_codec.h"
#include "platform/linux/wire/frame_io.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

const RemoteMethod kRunAction{"runActionWith:reply:",
                              R"(v32@0:8@"NSDictionary"16@?<v@?@"NSDictionary">24)"};
const RemoteMethod kEndpoint{"listenerEndpointWithReply:",
                             R"(v24@0:8@?<v@?@"NSXPCListenerEndpoint">16)"};
const RemoteProtocol kProtocol{"TestType", {kRunAction, kEndpoint}};

// The transport's log: written from connection threads, read by the tests that judge it.
class TestLog : public Log {
 public:
  void write(std::string_view line) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// What the exported object saw of one call.
struct Delivery {
  std::int64_t client = 0;
  std::int64_t sequence = 0;
  std::thread::id thread;
};

// Answers runActionWith:reply: as the request's "op" says, and records every call it gets.
class TestObject : public ExportedObject {
 public:
  void invoke(std::string_view selector, std::vector<Value> arguments, ReplyBlock reply) override {
    if (selector == kEndpoint.selector) {
      reply({endpoint});
      return;
    }
    const auto& request = *arguments.at(0).get<Dictionary>();
    const auto* client = request.find("client");
    const auto* sequence = request.find("sequence");
    {
      std::lock_guard lock(mutex_);
      deliveries.push_back({client ? *client->get<std::int64_t>() : -1,
                            sequence ? *sequence->get<std::int64_t>() : -1,
                            std::this_thread::get_id()});
    }
    const auto* op = request.find("op");
    const std::string what = op ? *op->get<std::string>() : "echo";
    if (what == "block") {
      std::unique_lock lock(mutex_);
      blocked = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released; });
    }
    if (what == "exit") {
      reply({Value(request)});
      ::_exit(0);
    }
    reply({Value(request)});
    if (what == "twice") reply({Value("second")});
  }

  void waitUntilBlocked() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return blocked; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released = true;
    changed_.notify_all();
  }
  std::vector<Delivery> taken() {
    std::lock_guard lock(mutex_);
    return deliveries;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    deliveries.clear();
  }

  std::optional<ListenerEndpoint> endpoint;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Delivery> deliveries;
  bool blocked = false;
  bool released = false;
};

class TestDelegate : public XPCListenerDelegate {
 public:
  TestDelegate(Transport& transport, ExportedObject& object)
      : transport_(transport), object_(object) {}
  bool shouldAcceptNewConnection(const std::shared_ptr<XPCListener>&,
                                 XPCConnection& connection) override {
    std::shared_future<void> validated;
    {
      std::lock_guard lock(mutex_);
      tokens.push_back(connection.auditToken());
      validated = validationEnds;
    }
    if (validated.valid()) validated.wait();
    if (refuse) return false;
    connection.setExportedInterface(transport_.interfaceWithProtocol(kProtocol));
    connection.setExportedObject(&object_);
    connection.resume();
    return true;
  }
  std::atomic<bool> refuse = false;
  std::mutex mutex_;
  std::vector<std::optional<Bytes>> tokens;
  // When set, each validation lasts until it is ready.
  std::shared_future<void> validationEnds;

 private:
  Transport& transport_;
  ExportedObject& object_;
};

// A service on a socket in a temporary folder, its loop on a thread of its own.
class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto made = transport.listenerForMachService("svc");
    ASSERT_TRUE(made.has_value()) << made.error().description;
    listener = *made;
    listener->setDelegate(&delegate);
    listener->resume();
    loop = std::thread([this] {
      loopThread = std::this_thread::get_id();
      transport.runMainLoop();
    });
  }
  void TearDown() override {
    transport.stop();
    loop.join();
    listener.reset();
  }

  ServiceClient connect() {
    auto client = ServiceClient::connectToService("svc", folder);
    EXPECT_TRUE(client.has_value());
    return std::move(*client);
  }

  support::TemporaryFolder temporary;
  std::string folder = temporary.root();
  TestObject object;
  TestLog log;
  LinuxTransport transport{log, folder};
  TestDelegate delegate{transport, object};
  std::shared_ptr<XPCListener> listener;
  std::thread loop;
  std::thread::id loopThread;
};

// Whether the connection ended without a reply: the service closed it or reset it.
bool endsWithoutReply(int socketFd) {
  const auto frame = readFrame(socketFd);
  return !frame &&
         (frame.error() == FrameReadError::endOfStream || frame.error() == FrameReadError::failed);
}

Bytes framed(const Bytes& payload) {
  Bytes bytes = {static_cast<std::uint8_t>(payload.size() >> 24),
                 static_cast<std::uint8_t>(payload.size() >> 16),
                 static_cast<std::uint8_t>(payload.size() >> 8),
                 static_cast<std::uint8_t>(payload.size())};
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

Bytes call(std::uint64_t id, std::string selector, std::vector<Value> arguments) {
  return encodeCall(
      CallMessage{.id = id, .selector = std::move(selector), .arguments = std::move(arguments)});
}

TEST_F(TransportTest, ACallIsAnsweredAndThePeerIsKnownByItsToken) {
  auto client = connect();
  const Dictionary request{{"op", "echo"}, {"payload", Bytes(100000, 7)}};
  const auto reply = client.call(kRunAction, {Value(request)});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, std::vector<ReplyArgument>{Value(request)});

  std::lock_guard lock(delegate.mutex_);
  ASSERT_EQ(delegate.tokens.size(), 1u);
  ASSERT_TRUE(delegate.tokens[0].has_value());
  const auto token = AuditToken::decode(*delegate.tokens[0]);
  ASSERT_TRUE(token.has_value());
  EXPECT_EQ(token->processId, static_cast<std::uint32_t>(::getpid()));
  EXPECT_EQ(token->effectiveUser, ::geteuid());
}

TEST_F(TransportTest, EachConnectionsCallsArriveInOrderOnAThreadOfItsOwn) {
  constexpr int kClients = 24;
  constexpr int kCalls = 20;
  std::vector<std::thread> clients;
  std::atomic<int> answered = 0;
  // Every connection stays open until all have made their calls, so that all delivering threads
  // are alive together: a thread's id may pass to a new thread once it has ended.
  std::latch allCalled(kClients);
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      auto client = connect();
      for (int s = 0; s < kCalls; ++s) {
        const Dictionary request{{"client", c}, {"sequence", s}};
        const auto reply = client.call(kRunAction, {Value(request)});
        if (reply && *reply == std::vector<ReplyArgument>{Value(request)}) ++answered;
      }
      allCalled.arrive_and_wait();
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(answered, kClients * kCalls);

  std::map<std::int64_t, std::vector<Delivery>> byClient;
  for (const auto& delivery : object.taken()) byClient[delivery.client].push_back(delivery);
  ASSERT_EQ(byClient.size(), static_cast<std::size_t>(kClients));
  std::map<std::thread::id, std::int64_t> owner;
  for (const auto& [client, deliveries] : byClient) {
    ASSERT_EQ(deliveries.size(), static_cast<std::size_t>(kCalls));
    for (int s = 0; s < kCalls; ++s) {
      EXPECT_EQ(deliveries[s].sequence, s);
      EXPECT_EQ(deliveries[s].thread, deliveries[0].thread);
    }
    EXPECT_NE(deliveries[0].thread, loopThread);
    EXPECT_TRUE(owner.emplace(deliveries[0].thread, client).second) << "a thread shared";
  }
}

TEST_F(TransportTest, AMessageThatBreaksTheProtocolEndsOnlyItsConnection) {
  Bytes tooDeep(65, 0x81);
  tooDeep.push_back(0x00);
  Bytes trailing = call(1, kRunAction.selector, {Value(Dictionary{})});
  trailing.push_back(0x00);
  Bytes tagged = {0xa3, 0x64, 'c', 'a', 'l', 'l', 0x01, 0x68, 's',  'e',
                  'l',  'e',  'c', 't', 'o', 'r', 0xd8, 0x20, 0x60, 0x69,
                  'a',  'r',  'g', 'u', 'm', 'e', 'n',  't',  's',  0x80};
  const struct {
    const char* name;
    Bytes sent;  // whole frames, or less
  } cases[] = {
      {"zero length", {0, 0, 0, 0}},
      {"over the limit", {0x01, 0x00, 0x00, 0x01}},
      {"half a frame", {0, 0, 0, 10, 0xa3, 0x64}},
      {"not CBOR", framed({0xff})},
      {"truncated item", framed({0x82, 0x01})},
      {"nested too deep", framed(tooDeep)},
      {"count beyond the bytes", framed({0x9a, 0xff, 0xff, 0xff, 0xff, 0x00})},
      {"duplicate keys", framed({0xa2, 0x61, 'a', 0x01, 0x61, 'a', 0x02})},
      {"trailing bytes", framed(trailing)},
      {"not a map", framed(encodeCbor(Value(Array{Value(1)})))},
      {"an unknown selector", framed(call(1, "runFetchWith:reply:", {Value(Dictionary{})}))},
      {"an argument of another kind", framed(call(1, kRunAction.selector, {Value("text")}))},
      {"a missing argument", framed(call(1, kRunAction.selector, {}))},
      {"an extra argument",
       framed(call(1, kRunAction.selector, {Value(Dictionary{}), Value(Dictionary{})}))},
      {"a null argument", framed(call(1, kRunAction.selector, {Value(Null{})}))},
      {"an argument for a method without any", framed(call(1, kEndpoint.selector, {Value(1)}))},
      {"a negative id",
       framed(encodeCbor(Value(Dictionary{{"call", -1},
                                          {"selector", kRunAction.selector},
                                          {"arguments", Array{Value(Dictionary{})}}})))},
      {"an extra key", framed(encodeCbor(Value(Dictionary{{"call", 1},
                                                          {"selector", kRunAction.selector},
                                                          {"arguments", Array{Value(Dictionary{})}},
                                                          {"more", true}})))},
      {"a tag", framed(tagged)},
  };
  for (const auto& c : cases) {
    auto client = connect();
    ASSERT_TRUE(client.awaitReady().has_value()) << c.name;
    ASSERT_EQ(::send(client.socket(), c.sent.data(), c.sent.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(c.sent.size()))
        << c.name;
    if (std::string_view(c.name) == "half a frame") ::shutdown(client.socket(), SHUT_WR);
    EXPECT_TRUE(endsWithoutReply(client.socket())) << c.name;
  }
  EXPECT_TRUE(object.taken().empty());
  // Every other connection is served as before.
  auto good = connect();
  EXPECT_TRUE(good.call(kRunAction, {Value(Dictionary{})}).has_value());
}

TEST_F(TransportTest, ARefusedConnectionIsNeverReadFrom) {
  delegate.refuse = true;
  auto client = connect();
  const auto reply = client.call(kRunAction, {Value(Dictionary{})});
  ASSERT_FALSE(reply.has_value());
  EXPECT_EQ(reply.error(), CallFailure::invalidated);
  EXPECT_TRUE(object.taken().empty());
}

// A peer may idle between frames for as long as it likes; a frame it has begun must be whole in
// time, and a validation that does not end in time ends the connection.
TEST_F(TransportTest, OnlyUnfinishedWorkIsCutForSlowness) {
  auto idle = connect();
  ASSERT_TRUE(idle.awaitReady().has_value());
  auto slow = connect();
  ASSERT_TRUE(slow.awaitReady().has_value());
  const auto started = std::chrono::steady_clock::now();
  const Bytes halfAFrame = {0, 0, 0, 10, 0xa3};
  ASSERT_EQ(::send(slow.socket(), halfAFrame.data(), halfAFrame.size(), MSG_NOSIGNAL), 5);
  EXPECT_TRUE(endsWithoutReply(slow.socket()));
  EXPECT_GE(std::chrono::steady_clock::now() - started, kFrameTimeLimit);
  // Idle all that time, the other is served.
  EXPECT_TRUE(idle.call(kRunAction, {Value(Dictionary{{"sequence", 1}})}).has_value());

  std::promise<void> never;
  delegate.validationEnds = never.get_future().share();
  auto unjudged = connect();
  EXPECT_EQ(unjudged.awaitReady().error(), CallFailure::invalidated);
  never.set_value();
}

// The listening socket of this process bound at `path`, as the next start would adopt it.
int listeningSocketAt(const std::string& path) {
  for (int fd = 3; fd < 1024; ++fd) {
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening &&
        boundPath(fd) == path) {
      return fd;
    }
  }
  return -1;
}

// The end begins between a peer's ready frame and its first request. An ordinary server, whose
// end drops every request that arrives after it began, leaves that peer told ready and never
// answered; ours answers it within the drain's bound, and leaves a peer that connects after the
// end began untold, queued in the listening socket for the next start.
TEST_F(TransportTest, TheEndAnswersEveryPeerToldReadyAndLeavesLaterOnesQueued) {
  {
    auto listening = listenAt(folder + "/ordinary");
    ASSERT_TRUE(listening.has_value());
    std::atomic<bool> ending = false;
    std::thread ordinary([&] {
      pollfd waiting{.fd = listening->get(), .events = POLLIN, .revents = 0};
      ::poll(&waiting, 1, -1);
      const UniqueFd peer(::accept4(listening->get(), nullptr, nullptr, SOCK_CLOEXEC));
      writeFrame(peer.get(), encodeReady());
      const auto request = readFrame(peer.get());
      if (request && !ending) writeFrame(peer.get(), encodeReply(1, {}));
    });
    auto told = ServiceClient::connectToService("ordinary", folder);
    ASSERT_TRUE(told.has_value());
    ASSERT_TRUE(told->awaitReady().has_value());
    ending = true;
    EXPECT_FALSE(told->call(kRunAction, {Value(Dictionary{})}).has_value());
    ordinary.join();
  }

  auto told = connect();
  ASSERT_TRUE(told.awaitReady().has_value());
  std::thread ending([&] { transport.finishRequests(std::chrono::seconds(10)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto late = connect();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(told.call(kRunAction, {Value(Dictionary{})}).has_value());
  ending.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  pollfd untold{.fd = late.socket(), .events = POLLIN, .revents = 0};
  EXPECT_EQ(::poll(&untold, 1, 500), 0) << "told ready, or closed, after the end began";
  const int listening = listeningSocketAt(transport.socketPath("svc"));
  ASSERT_GE(listening, 0);
  EXPECT_GE(UniqueFd(::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC)).get(), 0)
      << "not left in the listening socket";
}

TEST_F(TransportTest, BytesSentBeforeTheReadyFrameEndTheConnectionUndelivered) {
  std::promise<void> sent;
  {
    std::lock_guard lock(delegate.mutex_);
    delegate.validationEnds = sent.get_future().share();
  }
  // Queued while the peer is being validated, as by code that ran before an exec.
  auto early = connect();
  ASSERT_TRUE(writeFrame(early.socket(), call(1, kRunAction.selector, {Value(Dictionary{})})));
  auto patient = connect();
  sent.set_value();
  EXPECT_TRUE(endsWithoutReply(early.socket()));
  EXPECT_TRUE(object.taken().empty());
  // A peer that waits for the ready frame is served.
  const auto reply = patient.call(kRunAction, {Value(Dictionary{{"sequence", 1}})});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(object.taken().size(), 1u);
}

TEST_F(TransportTest, AReplyBlockAnswersOnce) {
  auto client = connect();
  const auto first = client.call(kRunAction, {Value(Dictionary{{"op", "twice"}})});
  const auto second = client.call(kRunAction, {Value(Dictionary{{"op", "echo"}})});
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_EQ(*first, std::vector<ReplyArgument>{Value(Dictionary{{"op", "twice"}})});
  EXPECT_EQ(*second, std::vector<ReplyArgument>{Value(Dictionary{{"op", "echo"}})});
}

TEST_F(TransportTest, APeerThatLeavesInTheMiddleOfACallCostsNothing) {
  {
    auto client = connect();
    ASSERT_TRUE(client.awaitReady().has_value());
    const auto payload = call(1, kRunAction.selector, {Value(Dictionary{{"op", "block"}})});
    ASSERT_TRUE(writeFrame(client.socket(), payload));
    object.waitUntilBlocked();
  }  // the client is gone
  // The reply now goes to a closed socket: without MSG_NOSIGNAL, SIGPIPE would end this program.
  object.release();
  auto other = connect();
  EXPECT_TRUE(other.call(kRunAction, {Value(Dictionary{})}).has_value());
}

TEST_F(TransportTest, AMessageFromAnotherProcessInvalidatesTheConnection) {
  auto client = connect();
  ASSERT_TRUE(client.call(kRunAction, {Value(Dictionary{{"sequence", 1}})}).has_value());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A child that inherited the validated peer's socket.
    const auto payload = call(9, kRunAction.selector, {Value(Dictionary{{"sequence", 2}})});
    ::_exit(writeFrame(client.socket(), payload) ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(endsWithoutReply(client.socket()));
  const auto taken = object.taken();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].sequence, 1);
}

// A validated peer that other processes of its user could take over since: it made itself
// dumpable. (A tracer can no longer attach to a process that is not dumpable, unless it is root's,
// and root needs no tracer to write into a process.)
TEST_F(TransportTest, APeerNoLongerAsValidatedIsCutOffAtItsNextMessage) {
  std::filesystem::permissions(folder, std::filesystem::perms(0755));
  int ready[2];
  int go[2];
  ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(10);
    }
    auto client = ServiceClient::connectToService("svc", folder);
    if (!client || !client->call(kRunAction, {Value(Dictionary{{"sequence", 1}})})) ::_exit(11);
    if (::prctl(PR_SET_DUMPABLE, 1) != 0) ::_exit(12);
    char byte = 0;
    if (::write(ready[1], "x", 1) != 1 || ::read(go[0], &byte, 1) != 1) ::_exit(13);
    ::_exit(client->call(kRunAction, {Value(Dictionary{{"sequence", 2}})}) ? 14 : 0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(::write(go[1], "x", 1), 1);
  for (const int end : {ready[0], ready[1], go[0], go[1]}) ::close(end);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::vector<std::int64_t> sequences;
  for (const auto& delivery : object.taken()) sequences.push_back(delivery.sequence);
  EXPECT_EQ(sequences, std::vector<std::int64_t>{1});
  const auto lines = log.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("it has become dumpable"), std::string::npos) << lines.back();
}

TEST_F(TransportTest, TheEndpointReachesTheSameListener) {
  const auto endpoint = listener->endpoint();
  ASSERT_TRUE(endpoint.has_value());
  EXPECT_EQ(endpoint->socketAddress, folder + "/svc");

  auto client = connect();
  auto nil = client.call(kEndpoint, {});
  ASSERT_TRUE(nil.has_value());
  EXPECT_EQ(*nil, std::vector<ReplyArgument>{std::optional<ListenerEndpoint>()});

  object.endpoint = endpoint;
  auto given = client.call(kEndpoint, {});
  ASSERT_TRUE(given.has_value());
  ASSERT_EQ(*given, std::vector<ReplyArgument>{endpoint});

  auto throughEndpoint = ServiceClient::connectToEndpoint(*endpoint);
  ASSERT_TRUE(throughEndpoint.has_value());
  EXPECT_TRUE(throughEndpoint->call(kRunAction, {Value(Dictionary{})}).has_value());
}

TEST_F(TransportTest, ALiveListenersAddressIsNotTakenAStaleOneIs) {
  const auto taken = listenAt(folder + "/svc");
  ASSERT_FALSE(taken.has_value());
  EXPECT_EQ(taken.error().code, EADDRINUSE);

  {
    auto stale = listenAt(folder + "/stale");
    ASSERT_TRUE(stale.has_value());
  }  // closed: its file stays behind
  EXPECT_TRUE(std::filesystem::exists(folder + "/stale"));
  EXPECT_TRUE(listenAt(folder + "/stale").has_value());
}

// A service in a process of its own, started as the service manager starts it: the listening
// socket passed as descriptor 3 with LISTEN_PID and LISTEN_FDS.
TEST(ActivatedServiceTest, AnAnswerFollowedByExitStillArrives) {
  support::TemporaryFolder temporary;
  const auto path = temporary.path("activated");
  auto socket = listenAt(path);
  ASSERT_TRUE(socket.has_value());

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (socket->get() != kFirstActivatedFd && ::dup2(socket->get(), kFirstActivatedFd) < 0) {
      ::_exit(10);
    }
    ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
    ::setenv("LISTEN_FDS", "1", 1);
    ::setenv("LISTEN_FDNAMES", "activated", 1);
    // Its own folder would be elsewhere: only the passed socket can be what it listens on.
    TestLog log;
    LinuxTransport transport(log, "/nonexistent");
    auto made = transport.listenerForMachService("activated");
    if (!made) ::_exit(11);
    if (std::getenv("LISTEN_FDS") != nullptr) ::_exit(12);
    TestObject object;
    object.endpoint = (*made)->endpoint();
    TestDelegate delegate(transport, object);
    (*made)->setDelegate(&delegate);
    (*made)->resume();
    transport.runMainLoop();
    ::_exit(13);
  }
  socket->reset();

  auto client = ServiceClient::connectToEndpoint(ListenerEndpoint{path});
  ASSERT_TRUE(client.has_value());
  const auto endpoint = client->call(kEndpoint, {});
  ASSERT_TRUE(endpoint.has_value());
  EXPECT_EQ(*endpoint, std::vector<ReplyArgument>{std::optional(ListenerEndpoint{path})});
  const Dictionary last{{"op", "exit"}};
  const auto reply = client->call(kRunAction, {Value(last)});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, std::vector<ReplyArgument>{Value(last)});
  EXPECT_TRUE(endsWithoutReply(client->socket()));

  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tarnel::linux_platform
