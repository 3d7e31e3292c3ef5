// Taking over a client that the daemon has validated, as any other process of the client's user
// could try: writing into its memory, attaching to it, or executing other code in it with its
// connection kept. Each attack is first shown to work on an ordinary process, so that an attack
// that is itself broken cannot pass for a defence; then it must fail on a validated client, or the
// connection must be cut with nothing of what it sent carried out.
#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "model/remote_protocols.h"
#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/wire/frame_io.h"
#include "tests/load/signed_daemon.h"

namespace tarnel::support::load {
namespace {

constexpr uid_t kNobody = 65534;

// Closes every descriptor of this (child) process but the standard streams, `one` and `other`:
// what it inherited, such as the write end of a client's standard input, must not keep the
// client waiting.
void keepOnly(int one, int other) {
  const auto [low, high] = std::minmax(one, other);
  ::close_range(3, static_cast<unsigned>(low) - 1, 0);
  ::close_range(static_cast<unsigned>(low) + 1, static_cast<unsigned>(high) - 1, 0);
  ::close_range(static_cast<unsigned>(high) + 1, ~0U, 0);
}

// An attacker of user nobody, in a child of this test, against process `target` of the same user:
// it attaches first when asked, then writes `text` into the target's memory at `address` through
// /proc/PID/mem, and holds on (staying attached) until the object goes.
class Attacker {
 public:
  enum class Method { writeMemory, attachThenWriteMemory };

  Attacker(pid_t target, Method method, std::uint64_t address, const std::string& text) {
    int verdict[2];
    int hold[2];
    if (::pipe2(verdict, O_CLOEXEC) != 0 || ::pipe2(hold, O_CLOEXEC) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      keepOnly(verdict[1], hold[0]);
      const auto answer = [&](char outcome) {
        if (::write(verdict[1], &outcome, 1) != 1) ::_exit(1);
        char byte = 0;
        [[maybe_unused]] const auto ended = ::read(hold[0], &byte, 1);  // until the test is done
        ::_exit(0);
      };
      if (!becomeUser(kNobody)) answer('!');
      if (method == Method::attachThenWriteMemory) {
        if (::ptrace(PTRACE_SEIZE, target, nullptr, nullptr) != 0) answer('n');
      }
      const UniqueFd memory(
          ::open(("/proc/" + std::to_string(target) + "/mem").c_str(), O_RDWR | O_CLOEXEC));
      if (!memory) answer('n');
      const auto written =
          ::pwrite(memory.get(), text.c_str(), text.size() + 1, static_cast<off_t>(address));
      answer(written == static_cast<ssize_t>(text.size() + 1) ? 'y' : 'n');
    }
    ::close(verdict[1]);
    ::close(hold[0]);
    verdict_.reset(verdict[0]);
    hold_.reset(hold[1]);
  }
  ~Attacker() {
    hold_.reset();
    if (pid_ > 0) reap(pid_);
  }
  Attacker(const Attacker&) = delete;
  Attacker& operator=(const Attacker&) = delete;

  // Whether the write landed.
  bool succeeded() {
    char outcome = 0;
    EXPECT_EQ(::read(verdict_.get(), &outcome, 1), 1);
    EXPECT_NE(outcome, '!') << "the attacker could not become nobody";
    return outcome == 'y';
  }

 private:
  pid_t pid_ = -1;
  UniqueFd verdict_;
  UniqueFd hold_;
};

std::uint64_t bufferAddress(Client& client) {
  const auto line = client.line().value_or("");
  EXPECT_TRUE(line.starts_with("buffer 0x")) << line;
  return line.starts_with("buffer 0x") ? std::strtoull(line.c_str() + 9, nullptr, 16) : 0;
}

// The request an attacker puts in the place of the client's harmless one: the root-owned file
// `victim`, which nobody may not delete, deleted as root.
std::string deleteOf(const std::string& victim) { return "delete:" + victim; }

TEST(TakeoverTest, WritingIntoAValidatedClientsMemory) {
  for (const auto method :
       {Attacker::Method::writeMemory, Attacker::Method::attachThenWriteMemory}) {
    SCOPED_TRACE(method == Attacker::Method::writeMemory ? "through /proc/PID/mem"
                                                         : "attached with ptrace");
    SignedDaemon daemon;
    const auto victim = daemon.folder().file("victim", "kept");

    // The same signed program installed as an ordinary one, of nobody's: the attacker rewrites
    // what it is about to send.
    Client ordinary(daemon, {"ordinary", "endpoint"}, {}, kNobody, Sealing::ordinary);
    const auto ordinaryBuffer = bufferAddress(ordinary);
    {
      Attacker attacker(ordinary.pid(), method, ordinaryBuffer, deleteOf(victim));
      EXPECT_TRUE(attacker.succeeded());
      ordinary.release();
      EXPECT_EQ(ordinary.line(), "would send " + deleteOf(victim));
    }

    // The same program as a validated client: hardened, nothing of nobody's can reach in.
    Client client(daemon, {"wait", daemon.socketPath(), "endpoint"}, {}, kNobody);
    EXPECT_EQ(client.line(), "ready");
    {
      Attacker attacker(client.pid(), method, bufferAddress(client), deleteOf(victim));
      EXPECT_FALSE(attacker.succeeded());
      client.release();
      EXPECT_EQ(client.line(), "1 endpoint " + daemon.socketPath());
    }

    // A validated client that made itself dumpable again: its group still keeps nobody's
    // processes out (the kernel compares groups too), and the daemon cuts the connection at the
    // message it then sends all the same.
    Client careless(daemon, {"wait", daemon.socketPath(), "endpoint", "dumpable"}, {}, kNobody);
    EXPECT_EQ(careless.line(), "ready");
    const auto carelessBuffer = bufferAddress(careless);
    EXPECT_EQ(careless.line(), "dumpable");
    {
      Attacker attacker(careless.pid(), method, carelessBuffer, deleteOf(victim));
      EXPECT_FALSE(attacker.succeeded());
      careless.release();
      EXPECT_EQ(careless.line(), "cut off waiting for 1");
    }
    EXPECT_TRUE(std::filesystem::exists(victim));
    EXPECT_TRUE(daemon.running()) << daemon.log();
  }
}

// A plain server on `path`: it tells its one peer that it may speak, answers one call with success
// and hands back the call.
std::optional<linux_platform::CallMessage> serveOneCall(
    const std::string& path, const std::function<void()>& whileListening) {
  auto listening = linux_platform::listenAt(path);
  if (!listening) return std::nullopt;
  std::optional<linux_platform::CallMessage> received;
  std::thread server([&] {
    pollfd waiting{.fd = listening->get(), .events = POLLIN};
    if (::poll(&waiting, 1, 120'000) != 1) return;
    const UniqueFd peer(::accept4(listening->get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer || !linux_platform::writeFrame(peer.get(), linux_platform::encodeReady())) return;
    const auto frame = linux_platform::readFrame(peer.get());
    if (!frame) return;
    auto call = linux_platform::decodeCall(frame->payload);
    if (!call) return;
    linux_platform::writeFrame(peer.get(),
                               linux_platform::encodeReply(call->id, {Value(Dictionary{{2, ""}})}));
    received = std::move(*call);
  });
  whileListening();
  server.join();
  return received;
}

TEST(TakeoverTest, ExecutingOtherCodeWithTheConnectionKept) {
  SignedDaemon daemon;
  std::filesystem::permissions(daemon.folder().root(), std::filesystem::perms(0755));
  const auto victim = daemon.folder().file("victim", "kept");
  // What the validated client executes: the same program, unsigned, which goes on with the
  // connection it inherits.
  const std::vector<std::string> unsignedCode{TARNEL_LOAD_CLIENT_PATH, "continue", "3",
                                              deleteOf(victim)};

  // Against an ordinary server, which judges its peer only when it connects, the attack works.
  const auto ordinaryPath = daemon.folder().path("ordinary.socket");
  const auto call = serveOneCall(ordinaryPath, [&] {
    std::vector<std::string> arguments{"exec", ordinaryPath};
    arguments.insert(arguments.end(), unsignedCode.begin(), unsignedCode.end());
    Client client(daemon, arguments, {}, kNobody);
    EXPECT_EQ(client.rest(), "ready\nadopted\n1 success\n");
  });
  ASSERT_TRUE(call.has_value());
  EXPECT_EQ(call->selector, remoteActionType().methods.at(0).selector);

  // Against the daemon, the exec ends the trust: the call is never carried out.
  std::vector<std::string> arguments{"exec", daemon.socketPath()};
  arguments.insert(arguments.end(), unsignedCode.begin(), unsignedCode.end());
  Client client(daemon, arguments, {}, kNobody);
  EXPECT_EQ(client.rest(), "ready\nadopted\ncut off waiting for 1\n");
  EXPECT_TRUE(std::filesystem::exists(victim));
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

}  // namespace
}  // namespace tarnel::support::load
