// The editor's stand-in in the load and fault tests: signed by the tests, it speaks to the daemon
// as a client would, or misbehaves as told, and prints what it saw, one line per event, for the
// test to judge.
//
//   load-client requests SOCKET COUNT REQUEST...  COUNT calls, the REQUESTs in turn, up to 8
//   unanswered at
//                                              once: "ID ANSWER" per reply, then "end" when the
//                                              stream ends after the last with nothing more
//   load-client silent SOCKET                  says nothing until its standard input ends
//   load-client half SOCKET                    sends half a frame and leaves
//   load-client oversize SOCKET                sends a frame of 16 MiB + 1 byte, as far as the
//                                              helper takes it: "sent whole" or "cut off
//                                              sending", then "closed" or "a frame"
//   load-client largest SOCKET                 the same with a frame of 16 MiB that is not CBOR
//   load-client hold SOCKET N                  holds N connections, each served one call, until
//                                              its standard input ends: "served K"
//   load-client vanish SOCKET REQUEST          queues a call without waiting for the ready frame
//                                              and leaves at once
//   load-client adopt FD REQUEST               makes the call REQUEST on the connection FD, made
//                                              before this program was executed
//   load-client continue FD REQUEST            the same on a connection FD that the program which
//                                              executed this one had been told it may speak on
//   load-client exec SOCKET PROGRAM [ARG...]   once told it may speak, executes PROGRAM with the
//                                              connection kept as descriptor 3
//   load-client wait SOCKET REQUEST [dumpable] holds REQUEST in memory ("buffer ADDRESS"), made
//                                              dumpable again if asked ("dumpable"), and sends it
//                                              once its standard input ends: the answer, or "cut
//                                              off waiting for 1"
//   load-client ordinary REQUEST               the same without connecting, never hardened:
//                                              "would send REQUEST"
//
// REQUEST is "invalid", "missing", "endpoint", "link:PATH" (a test at PATH), "load:PATH",
// "delete:PATH", "privileged:PATH" (a privileged load with an authorization that names nothing) or
// "large" (a save whose text fills a frame of nearly 16 MiB). Every mode but vanish and hold first
// waits for the ready frame: "ready", or "no ready frame" when the connection ended without it.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <string>
#include <vector>

#include "model/remote_protocols.h"
#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/transport/method_signature.h"
#include "platform/linux/transport/service_client.h"
#include "platform/linux/wire/frame_io.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;

constexpr std::size_t kWindow = 8;

const RemoteMethod& runAction() { return remoteActionType().methods.at(0); }
const RemoteMethod& endpointMethod() { return remoteActionType().methods.at(1); }

Dictionary parameters(Dictionary more = {}) {
  Dictionary all{{"privileged", false}, {"presentError", true}};
  for (const auto& entry : more.entries()) all.append(entry.key, entry.value);
  return all;
}

struct Call {
  const RemoteMethod* method;
  std::vector<Value> arguments;
};

Call callFor(const std::string& description) {
  const auto colon = description.find(':');
  const auto name = description.substr(0, colon);
  const auto path = colon == std::string::npos ? std::string() : description.substr(colon + 1);
  auto request = [](std::int64_t kind, Dictionary more) {
    return Call{&runAction(), {Value(Dictionary{{kind, parameters(std::move(more))}})}};
  };
  if (name == "endpoint") return Call{&endpointMethod(), {}};
  if (name == "invalid") return request(99, {});
  if (name == "missing") return request(3, {});
  if (name == "load") return request(3, {{"path", path}});
  if (name == "privileged") {
    Dictionary parameters{{"privileged", true}, {"presentError", true}};
    parameters.append("authData", Bytes(32, 0));
    parameters.append("path", path);
    return Call{&runAction(), {Value(Dictionary{{3, std::move(parameters)}})}};
  }
  if (name == "large") {
    return request(0, {{"path", "/nonexistent/large.plist"},
                       {"string", std::string(kMaximumFrameLength - 4096, 'x')},
                       {"label", "com.quorvant.large"}});
  }
  if (name == "delete") return request(2, {{"deletePath", path}, {"label", ""}});
  if (name == "link") {
    return request(5, {{"testPath", path},
                       {"testOutputPath", path + ".out"},
                       {"string", "<plist/>"},
                       {"label", "com.quorvant.load"}});
  }
  std::cerr << "load-client: unknown request " << description << "\n";
  std::exit(2);
}

// A reply in a few words: "error CODE", "success", "output", "endpoint ADDRESS" or "endpoint nil".
std::string summary(const std::vector<ReplyArgument>& arguments) {
  if (arguments.size() != 1) return "arguments " + std::to_string(arguments.size());
  if (const auto* endpoint = std::get_if<std::optional<ListenerEndpoint>>(&arguments[0])) {
    return *endpoint ? "endpoint " + (*endpoint)->socketAddress : "endpoint nil";
  }
  const auto* answer = std::get<Value>(arguments[0]).get<Dictionary>();
  if (answer == nullptr || answer->empty()) return "not an answer";
  const auto* key = answer->entries().front().key.get<std::int64_t>();
  if (key == nullptr) return "not an answer";
  if (*key == 2) return "success";
  if (*key == 1) return "output";
  const auto* error = answer->entries().front().value.get<Dictionary>();
  const auto* code = error ? error->find("code") : nullptr;
  return code && code->get<std::int64_t>() ? "error " + std::to_string(*code->get<std::int64_t>())
                                           : "not an answer";
}

void say(const std::string& line) { std::cout << line << std::endl; }

ServiceClient connectOrLeave(const std::string& socketPath) {
  auto client = ServiceClient::connectToEndpoint(ListenerEndpoint{socketPath});
  if (!client) {
    say("cannot connect: " + client.error().description);
    std::exit(1);
  }
  return std::move(*client);
}

bool awaitReady(ServiceClient& client) {
  if (!client.awaitReady()) {
    say("no ready frame");
    return false;
  }
  say("ready");
  return true;
}

void waitForStandardInputToEnd() {
  char byte = 0;
  while (::read(STDIN_FILENO, &byte, 1) > 0) {
  }
}

// What came after everything this side sent: "a frame", or "closed" (whether the helper had left
// bytes of ours unread, which Linux reports as a reset, depends on timing).
std::string howItEnded(int socket) { return readFrame(socket) ? "a frame" : "closed"; }

int requests(const std::string& socketPath, int count, const std::vector<std::string>& specs) {
  auto client = connectOrLeave(socketPath);
  if (!awaitReady(client)) return 0;
  std::deque<std::pair<std::uint64_t, const RemoteMethod*>> unanswered;
  std::uint64_t sent = 0;
  while (sent < static_cast<std::uint64_t>(count) || !unanswered.empty()) {
    while (sent < static_cast<std::uint64_t>(count) && unanswered.size() < kWindow) {
      auto call = callFor(specs[sent % specs.size()]);
      ++sent;
      const auto payload = encodeCall(
          CallMessage{.id = sent, .selector = call.method->selector, .arguments = call.arguments});
      if (!writeFrame(client.socket(), payload)) {
        say("cut off sending " + std::to_string(sent));
        return 0;
      }
      unanswered.emplace_back(sent, call.method);
    }
    const auto frame = readFrame(client.socket());
    if (!frame) {
      say("cut off waiting for " + std::to_string(unanswered.front().first));
      return 0;
    }
    // Replies come in the order of the calls: this one must answer the oldest unanswered call.
    const auto [id, method] = unanswered.front();
    unanswered.pop_front();
    const auto signature = parseMethodSignature(method->typeEncoding);
    const auto reply = decodeReply(frame->payload, *signature->reply);
    if (!reply) {
      say("not the reply to " + std::to_string(id));
      continue;
    }
    say(std::to_string(reply->id) + " " + summary(reply->arguments));
  }
  ::shutdown(client.socket(), SHUT_WR);
  const auto last = readFrame(client.socket());
  say(last ? "a frame" : last.error() == FrameReadError::endOfStream ? "end" : "cut off");
  return 0;
}

int silent(const std::string& socketPath) {
  auto client = connectOrLeave(socketPath);
  if (awaitReady(client)) waitForStandardInputToEnd();
  return 0;
}

int half(const std::string& socketPath) {
  auto client = connectOrLeave(socketPath);
  if (!awaitReady(client)) return 0;
  const std::uint8_t halfFrame[] = {0, 0, 0, 10, 0xa3, 0x64, 'c', 'a', 'l'};
  if (::send(client.socket(), halfFrame, sizeof halfFrame, MSG_NOSIGNAL) < 0) say("cut off");
  return 0;
}

// Sends `length` as a frame's length, then `length` bytes of 0xff, as many as the peer takes.
void sendFrameOf(int socket, std::uint32_t length) {
  const std::uint8_t header[] = {
      static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
      static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  if (::send(socket, header, sizeof header, MSG_NOSIGNAL) != sizeof header) {
    say("cut off at the length");
    return;
  }
  const std::vector<std::uint8_t> chunk(64 * 1024, 0xff);
  std::size_t left = length;
  while (left > 0) {
    const auto written = ::send(socket, chunk.data(), std::min(left, chunk.size()), MSG_NOSIGNAL);
    if (written < 0) {
      say("cut off sending");
      return;
    }
    left -= static_cast<std::size_t>(written);
  }
  say("sent whole");
}

int frameOf(const std::string& socketPath, std::uint32_t length) {
  auto client = connectOrLeave(socketPath);
  if (!awaitReady(client)) return 0;
  sendFrameOf(client.socket(), length);
  say(howItEnded(client.socket()));
  return 0;
}

int hold(const std::string& socketPath, int count) {
  std::vector<ServiceClient> held;
  for (int i = 0; i < count; ++i) {
    auto client = ServiceClient::connectToEndpoint(ListenerEndpoint{socketPath});
    if (!client || !client->call(endpointMethod(), {})) break;
    held.push_back(std::move(*client));
  }
  say("served " + std::to_string(held.size()));
  waitForStandardInputToEnd();
  return 0;
}

int vanish(const std::string& socketPath, const std::string& description) {
  auto socket = connectTo(socketPath);
  if (!socket) return 1;
  const auto call = callFor(description);
  writeFrame(socket->get(),
             encodeCall(CallMessage{
                 .id = 1, .selector = call.method->selector, .arguments = call.arguments}));
  return 0;
}

// A request held in memory until it is sent, where a process that may write into this one's memory
// finds it.
char pendingRequest[256];

// Sends one call on the connection and prints its answer.
void callAndSay(int socket, const std::string& description) {
  const auto call = callFor(description);
  if (!writeFrame(socket,
                  encodeCall(CallMessage{
                      .id = 1, .selector = call.method->selector, .arguments = call.arguments}))) {
    say("cut off sending 1");
    return;
  }
  const auto frame = readFrame(socket);
  if (!frame) {
    say("cut off waiting for 1");
    return;
  }
  const auto signature = parseMethodSignature(call.method->typeEncoding);
  const auto reply = decodeReply(frame->payload, *signature->reply);
  say(reply ? std::to_string(reply->id) + " " + summary(reply->arguments) : "not the reply to 1");
}

// The connection is not this program's own making, so it is spoken by hand: the ready frame
// unless the program before this one already read it, then one call and its reply.
int adopt(int socketFd, const std::string& description, bool readyAlready) {
  say("adopted");
  const UniqueFd socket(socketFd);
  if (!readyAlready) {
    const auto ready = readFrame(socket.get());
    if (!ready || !isReady(ready->payload)) {
      say("no ready frame");
      return 0;
    }
    say("ready");
  }
  callAndSay(socket.get(), description);
  return 0;
}

int execKeepingConnection(const std::string& socketPath, std::vector<std::string> program) {
  auto client = connectOrLeave(socketPath);
  if (!awaitReady(client)) return 0;
  // Kept open across the exec: a copy made by dup2, or the descriptor itself made inheritable.
  const int kept = client.socket() == 3 ? ::fcntl(3, F_SETFD, 0) : ::dup2(client.socket(), 3);
  if (kept < 0) return 1;
  std::vector<char*> argv;
  for (auto& argument : program) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  say("cannot execute " + program.front());
  return 1;
}

void holdRequest(const std::string& description) {
  std::snprintf(pendingRequest, sizeof pendingRequest, "%s", description.c_str());
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void*>(pendingRequest));
  say(std::string("buffer ") + address);
}

int waitThenSend(const std::string& socketPath, const std::string& description, bool dumpable) {
  auto client = connectOrLeave(socketPath);
  if (!awaitReady(client)) return 0;
  holdRequest(description);
  if (dumpable) {
    if (::prctl(PR_SET_DUMPABLE, 1) != 0) return 1;
    say("dumpable");
  }
  waitForStandardInputToEnd();
  callAndSay(client.socket(), pendingRequest);
  return 0;
}

int ordinary(const std::string& description) {
  holdRequest(description);
  waitForStandardInputToEnd();
  say(std::string("would send ") + pendingRequest);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const auto mode = arguments.empty() ? std::string() : arguments[0];
  if (mode == "requests" && arguments.size() >= 4) {
    return requests(arguments[1], std::atoi(arguments[2].c_str()),
                    std::vector<std::string>(arguments.begin() + 3, arguments.end()));
  }
  if (mode == "silent" && arguments.size() == 2) return silent(arguments[1]);
  if (mode == "half" && arguments.size() == 2) return half(arguments[1]);
  if (mode == "oversize" && arguments.size() == 2) {
    return frameOf(arguments[1], kMaximumFrameLength + 1);
  }
  if (mode == "largest" && arguments.size() == 2) return frameOf(arguments[1], kMaximumFrameLength);
  if (mode == "hold" && arguments.size() == 3) {
    return hold(arguments[1], std::atoi(arguments[2].c_str()));
  }
  if (mode == "vanish" && arguments.size() == 3) return vanish(arguments[1], arguments[2]);
  if ((mode == "adopt" || mode == "continue") && arguments.size() == 3) {
    return adopt(std::atoi(arguments[1].c_str()), arguments[2], mode == "continue");
  }
  if (mode == "exec" && arguments.size() >= 3) {
    return execKeepingConnection(arguments[1],
                                 std::vector<std::string>(arguments.begin() + 2, arguments.end()));
  }
  if (mode == "wait" &&
      (arguments.size() == 3 || (arguments.size() == 4 && arguments[3] == "dumpable"))) {
    return waitThenSend(arguments[1], arguments[2], arguments.size() == 4);
  }
  if (mode == "ordinary" && arguments.size() == 2) return ordinary(arguments[1]);
  std::cerr << "load-client: unknown command line\n";
  return 2;
}
