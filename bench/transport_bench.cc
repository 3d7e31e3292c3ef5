// The transport, against the signed daemon started by socket activation: the round trip of a
// small request that fails decoding, against a raw Unix-socket ping-pong of the same sizes; and
// the acceptance of a connection from this program, a signed client of about 10 MB whose
// signature the daemon checks, against an in-process SHA-256 of this program's file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/comparison_report.h"
#include "bench/support/isolated_program.h"
#include "model/helper_label.h"
#include "model/remote_protocols.h"
#include "model/reply.h"
#include "platform/code_signing.h"
#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/own_code_verdict.h"
#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/transport/peer_pin.h"
#include "platform/linux/transport/service_client.h"
#include "platform/linux/wire/frame_io.h"

// Bytes that make this program a client of about 10 MB, all of them signed and hashed by the
// daemon at every connection, as the code of a large client would be.
// clang-format off
asm(".pushsection .tarnel_bench_padding,\"a\",@progbits\n"
    ".fill " TARNEL_BENCH_PADDING_BYTES ",1,0x5a\n"
    ".popsection");
// clang-format on

namespace tarnel::bench {

namespace {

using linux_platform::ServiceClient;
using linux_platform::UniqueFd;

// Decoding yields no action for a kind outside 0 to 7: the daemon answers "invalid request".
const Value kUndecodableRequest(Dictionary{
    {8, Dictionary{{"privileged", false}, {"presentError", true}}}});

// The signed daemon, started on first use and ended when the program ends.
IsolatedProgram& daemon() {
  static IsolatedProgram program({.program = TARNEL_BENCH_SIGNED_DAEMON,
                                  .anchorsFolder = TARNEL_BENCH_ANCHORS,
                                  .activation = IsolatedProgram::Activation::socket,
                                  .socketName = helperLabel});
  [[maybe_unused]] static const auto started = program.start();
  return program;
}

// A new connection to the daemon; none, with the benchmark skipped, when the daemon cannot be
// started or reached.
std::optional<ServiceClient> connectToDaemon(benchmark::State& state) {
  std::string failure;
  try {
    auto client = ServiceClient::connectToService(helperLabel, daemon().runFolder());
    if (client) return std::move(*client);
    failure = "cannot connect to the daemon: " + client.error().description;
  } catch (const std::runtime_error& error) {
    failure = std::string("cannot start the daemon: ") + error.what();
  }
  state.SkipWithError(failure.c_str());
  return std::nullopt;
}

// Skips the benchmark unless the reply is the one a request that fails decoding gets: any other
// (such as "not authorized", when the daemon's own signature does not check) is not the path
// being measured.
bool answeredInvalidRequest(
    benchmark::State& state,
    const std::expected<std::vector<ReplyArgument>, linux_platform::CallFailure>& reply) {
  if (reply && reply->size() == 1) {
    const auto* value = std::get_if<Value>(&reply->front());
    if (value && *value == Value(makeCodeErrorReply(ReplyErrorCode::invalidRequest))) return true;
  }
  state.SkipWithError("the daemon did not answer \"invalid request\" (is it signed? is this?)");
  return false;
}

void BM_RequestRoundTrip(benchmark::State& state) {
  auto client = connectToDaemon(state);
  if (!client) return;
  const auto& method = remoteActionType().methods.front();
  if (!answeredInvalidRequest(state, client->call(method, {kUndecodableRequest}))) return;
  for (auto _ : state) {
    auto reply = client->call(method, {kUndecodableRequest});
    if (!reply) {
      state.SkipWithError("the call failed");
      return;
    }
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_RequestRoundTrip)->UseRealTime();

// The same connection's other method, which the daemon answers without checking its own code:
// what the transport alone costs.
void BM_EndpointRoundTrip(benchmark::State& state) {
  auto client = connectToDaemon(state);
  if (!client) return;
  const auto& method = remoteActionType().methods.back();
  for (auto _ : state) {
    auto reply = client->call(method, {});
    if (!reply) {
      state.SkipWithError("the call failed");
      return;
    }
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_EndpointRoundTrip)->UseRealTime();

// Sends all of `sending` and reads exactly `receiving` bytes into `into`.
bool exchangeExactly(int socket, const Bytes& sending, Bytes& into, std::size_t receiving) {
  for (std::size_t sent = 0; sent < sending.size();) {
    const auto written = ::send(socket, sending.data() + sent, sending.size() - sent, MSG_NOSIGNAL);
    if (written <= 0) return false;
    sent += static_cast<std::size_t>(written);
  }
  for (std::size_t got = 0; got < receiving;) {
    const auto count = ::read(socket, into.data() + got, receiving - got);
    if (count <= 0) return false;
    got += static_cast<std::size_t>(count);
  }
  return true;
}

// How the far end of the ping-pong reads and answers.
enum class FarEnd {
  // read() the request's bytes, send() the reply's: the baseline.
  plain,
  // As the daemon's connection does (frame_io): the sender's credentials and pidfd attached to
  // every read, a frame read as its header then its payload, the reply written as a frame. Where
  // the transport's time goes, short of the messages themselves.
  frames,
};

// The far end's loop, in a child process; it ends when the near end closes.
[[noreturn]] void answerPings(int socket, FarEnd farEnd, std::size_t requestFrame,
                              std::size_t replyFrame) {
  Bytes bytes(std::max(requestFrame, replyFrame), 0x5a);
  if (farEnd == FarEnd::frames && !linux_platform::receiveSenderCredentials(socket)) ::_exit(1);
  for (;;) {
    if (farEnd == FarEnd::frames) {
      const auto frame = linux_platform::readFrame(socket);
      if (!frame || frame->payload.size() + 4 != requestFrame ||
          !linux_platform::writeFrame(socket, {bytes.data(), replyFrame - 4})) {
        ::_exit(0);
      }
      continue;
    }
    std::size_t got = 0;
    while (got < requestFrame) {
      const auto count = ::read(socket, bytes.data() + got, requestFrame - got);
      if (count <= 0) ::_exit(0);
      got += static_cast<std::size_t>(count);
    }
    for (std::size_t sent = 0; sent < replyFrame;) {
      const auto written = ::send(socket, bytes.data() + sent, replyFrame - sent, MSG_NOSIGNAL);
      if (written <= 0) ::_exit(0);
      sent += static_cast<std::size_t>(written);
    }
  }
}

// The baseline: a process at the other end of a Unix stream socket that answers each message of
// the request's frame size with one of the reply's frame size.
void BM_RawPingPong(benchmark::State& state, FarEnd farEnd) {
  const auto request =
      linux_platform::encodeCall({.id = 1,
                                  .selector = remoteActionType().methods.front().selector,
                                  .arguments = {kUndecodableRequest}});
  const auto reply =
      linux_platform::encodeReply(1, {Value(makeCodeErrorReply(ReplyErrorCode::invalidRequest))});
  const std::size_t requestFrame = 4 + request.size();
  const std::size_t replyFrame = 4 + reply.size();
  // A well-formed frame, for a far end that reads frames.
  Bytes ping(requestFrame, 0x5a);
  ping[0] = ping[1] = ping[2] = 0;
  ping[3] = static_cast<std::uint8_t>(request.size());
  Bytes pong(replyFrame);

  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    state.SkipWithError("socketpair");
    return;
  }
  UniqueFd near(ends[0]);
  UniqueFd far(ends[1]);
  const pid_t echo = ::fork();
  if (echo < 0) {
    state.SkipWithError("fork");
    return;
  }
  if (echo == 0) {
    near.reset();
    answerPings(far.get(), farEnd, requestFrame, replyFrame);
  }
  far.reset();
  for (auto _ : state) {
    if (!exchangeExactly(near.get(), ping, pong, replyFrame)) {
      state.SkipWithError("the echo process failed");
      break;
    }
  }
  near.reset();
  ::waitpid(echo, nullptr, 0);
  state.counters["request_bytes"] = static_cast<double>(requestFrame);
  state.counters["reply_bytes"] = static_cast<double>(replyFrame);
}
BENCHMARK_CAPTURE(BM_RawPingPong, plain, FarEnd::plain)->UseRealTime();
BENCHMARK_CAPTURE(BM_RawPingPong, frames, FarEnd::frames)->UseRealTime();

// The checks that the daemon's transport makes before it delivers each message: the sender's
// image unchanged since it connected, not dumpable, not traced; here on a hardened child at the
// other end of a socket pair, in process.
void BM_PeerChecks(benchmark::State& state) {
  int ends[2];
  int held[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0 ||
      ::pipe2(held, O_CLOEXEC) != 0) {
    state.SkipWithError("socketpair");
    return;
  }
  UniqueFd near(ends[0]);
  UniqueFd far(ends[1]);
  UniqueFd release(held[1]);
  const pid_t peer = ::fork();
  if (peer < 0) {
    state.SkipWithError("fork");
    return;
  }
  if (peer == 0) {
    char byte = 0;
    release.reset();  // its end of the pipe ends only when the benchmark's does
    if (::prctl(PR_SET_DUMPABLE, 0) != 0) ::_exit(1);
    [[maybe_unused]] const auto ended = ::read(held[0], &byte, 1);
    ::_exit(0);
  }
  ::close(held[0]);
  {
    const linux_platform::PeerPin pin(near.get(), linux_platform::peerAuditToken(near.get()));
    for (auto _ : state) {
      auto breach = pin.breach();
      if (breach) {
        state.SkipWithError(breach->c_str());
        break;
      }
      benchmark::DoNotOptimize(breach);
    }
  }
  release.reset();
  ::waitpid(peer, nullptr, 0);
}
BENCHMARK(BM_PeerChecks)->UseRealTime();

// A new connection from this program, taken once the daemon has checked its own signature and
// this program's, and answered once: what a client waits for before its first answer.
void BM_ConnectionAcceptance(benchmark::State& state) {
  const auto& method = remoteActionType().methods.back();
  for (auto _ : state) {
    auto client = connectToDaemon(state);
    if (!client) return;
    auto reply = client->call(method, {});
    if (!reply) {
      state.SkipWithError("the connection was refused (is this program signed?)");
      return;
    }
  }
}
BENCHMARK(BM_ConnectionAcceptance)->UseRealTime()->Unit(benchmark::kMillisecond);

// The baseline: this program's own file read and hashed with SHA-256, in process.
void BM_Sha256OfClient(benchmark::State& state) {
  std::vector<unsigned char> chunk(64 * 1024);
  std::size_t fileSize = 0;
  for (auto _ : state) {
    UniqueFd file(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
      state.SkipWithError("cannot hash this program");
      return;
    }
    fileSize = 0;
    for (;;) {
      const auto count = ::read(file.get(), chunk.data(), chunk.size());
      if (count < 0) {
        state.SkipWithError("cannot read this program");
        return;
      }
      if (count == 0) break;
      if (EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(count)) != 1) {
        state.SkipWithError("cannot hash this program");
        return;
      }
      fileSize += static_cast<std::size_t>(count);
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
      state.SkipWithError("cannot hash this program");
      return;
    }
    benchmark::DoNotOptimize(digest);
  }
  state.counters["client_bytes"] = static_cast<double>(fileSize);
}
BENCHMARK(BM_Sha256OfClient)->UseRealTime()->Unit(benchmark::kMillisecond);

// The validation of the signature of the file at `path`, in process, as the daemon checks its
// own code before every request and a client's at every connection: where their time goes.
void measureSignatureCheck(benchmark::State& state, const char* path) {
  UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!file || ::fstat(file.get(), &status) != 0) {
    state.SkipWithError("cannot open the signed file");
    return;
  }
  for (auto _ : state) {
    auto context = linux_platform::validateSignedFile(
        file.get(), TARNEL_BENCH_ANCHORS,
        kSecCSCheckAllArchitectures | kSecCSCheckNestedCode | kSecCSStrictValidate);
    if (!context) {
      state.SkipWithError("the signature does not check");
      return;
    }
    benchmark::DoNotOptimize(context);
  }
  state.counters["file_bytes"] = static_cast<double>(status.st_size);
}

void BM_DaemonSignatureCheck(benchmark::State& state) {
  measureSignatureCheck(state, TARNEL_BENCH_SIGNED_DAEMON);
}
BENCHMARK(BM_DaemonSignatureCheck)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ClientSignatureCheck(benchmark::State& state) {
  measureSignatureCheck(state, "/proc/self/exe");
}
BENCHMARK(BM_ClientSignatureCheck)->UseRealTime()->Unit(benchmark::kMillisecond);

// The daemon's check of its own code before every request while nothing it rests on changes:
// the verdict kept from the first full validation.
void BM_OwnCodeVerdictKept(benchmark::State& state) {
  linux_platform::OwnCodeVerdict verdict;
  for (auto _ : state) {
    UniqueFd file(::open(TARNEL_BENCH_SIGNED_DAEMON, O_RDONLY | O_CLOEXEC));
    auto context = verdict.validate(
        file.get(), TARNEL_BENCH_ANCHORS,
        kSecCSCheckAllArchitectures | kSecCSCheckNestedCode | kSecCSStrictValidate);
    if (!context) {
      state.SkipWithError("the signature does not check");
      return;
    }
    benchmark::DoNotOptimize(context);
  }
}
BENCHMARK(BM_OwnCodeVerdictKept)->UseRealTime();

const Comparison kComparisons[] = {
    {.title = "request round trip",
     .measurement = "BM_RequestRoundTrip",
     .baseline = "BM_RawPingPong/plain",
     .ratio = 2},
    {.title = "  the other method: the transport alone",
     .measurement = "BM_EndpointRoundTrip",
     .baseline = "BM_RawPingPong/plain"},
    {.title = "  the reads and writes of frame_io",
     .measurement = "BM_RawPingPong/frames",
     .baseline = "BM_RawPingPong/plain"},
    {.title = "  of which the checks of the peer with every message",
     .measurement = "BM_PeerChecks",
     .baseline = "BM_RawPingPong/plain"},
    {.title = "  of which the daemon's own-code check, its verdict kept",
     .measurement = "BM_OwnCodeVerdictKept",
     .baseline = "BM_RawPingPong/plain"},
    {.title = "  the same check in full, as when anything it rests on changed",
     .measurement = "BM_DaemonSignatureCheck",
     .baseline = "BM_RawPingPong/plain"},
    {.title = "connection acceptance",
     .measurement = "BM_ConnectionAcceptance",
     .baseline = "BM_Sha256OfClient",
     .ratio = 1.2,
     .allowance = 0.5e6},
    {.title = "  of which the client's signature check",
     .measurement = "BM_ClientSignatureCheck",
     .baseline = "BM_Sha256OfClient"},
    {.title = "  of which the daemon's own-code check",
     .measurement = "BM_DaemonSignatureCheck",
     .baseline = "BM_Sha256OfClient"},
};

}  // namespace

}  // namespace tarnel::bench

int main(int argc, char** argv) {
  // The daemon's end is the end of a connection, never of this program.
  ::signal(SIGPIPE, SIG_IGN);
  return tarnel::bench::runComparisons(argc, argv, tarnel::bench::kComparisons);
}
