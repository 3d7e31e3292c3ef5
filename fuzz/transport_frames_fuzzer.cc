// The transport's receiving side. The input is the byte stream that a peer sends on its
// connection: it goes through a real socket into readFrame, and every frame is taken as the
// connection takes it (a call, checked against the helper's remote interface, whose request then
// goes to decodeAction) and as a client takes a reply to each of the helper's methods. Whatever
// decodes must encode to bytes that decode to the same message.
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/finding.h"
#include "model/decode_action.h"
#include "model/remote_protocols.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/transport/interface.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/wire/frame_io.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using tarnel::fuzz::expect;

// A socket buffer holds this much without a reader, so that writing the whole stream before
// reading it never blocks; no frame that a fuzz input can make needs more.
constexpr std::size_t kMaximumStream = 128 * 1024;

struct Sockets {
  UniqueFd peer;
  UniqueFd helper;
};

Sockets connectedPair() {
  int ends[2] = {-1, -1};
  expect(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0, "socketpair failed");
  Sockets sockets{UniqueFd(ends[0]), UniqueFd(ends[1])};
  const int buffer = 2 * kMaximumStream;
  ::setsockopt(sockets.peer.get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  ::setsockopt(sockets.helper.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  expect(receiveSenderCredentials(sockets.helper.get()), "cannot receive credentials");
  return sockets;
}

void sendWhole(int socket, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent <= 0) return;  // the kernel's buffer is full: the rest of the stream is not sent
    bytes = bytes.subspan(static_cast<std::size_t>(sent));
  }
}

const std::vector<const RemoteProtocol*>& helperProtocols() {
  static const std::vector<const RemoteProtocol*> protocols = {
      &remoteActionType(), &privilegedConnectionType(), &remoteFetchType()};
  return protocols;
}

// As the connection delivers a call: only to a method of the exported interface whose argument
// kinds it matches, and a request dictionary then goes to the dispatcher's decoding.
void takeAsCall(std::span<const std::uint8_t> payload) {
  static const LinuxInterface exported(remoteActionType());
  const auto call = decodeCall(payload);
  if (!call) return;
  const auto again = decodeCall(encodeCall(*call));
  expect(again.has_value() && again->id == call->id && again->selector == call->selector &&
             encodeCall(*again) == encodeCall(*call),
         "a decoded call does not survive encoding");
  const auto* method = exported.method(call->selector);
  if (method == nullptr || !argumentsMatch(call->arguments, method->arguments)) return;
  for (const auto& argument : call->arguments) {
    if (const auto* request = argument.get<Dictionary>()) (void)decodeAction(*request);
  }
}

// As a client takes the reply to each method that the helper's protocols declare.
void takeAsReply(std::span<const std::uint8_t> payload) {
  for (const auto* protocol : helperProtocols()) {
    for (const auto& method : protocol->methods) {
      const auto signature = parseMethodSignature(method.typeEncoding);
      expect(signature && signature->reply, "a method of the helper has no reply block");
      const auto reply = decodeReply(payload, *signature->reply);
      if (!reply) continue;
      const auto encoded = encodeReply(reply->id, reply->arguments);
      const auto again = decodeReply(encoded, *signature->reply);
      expect(again.has_value() && again->id == reply->id &&
                 encodeReply(again->id, again->arguments) == encoded,
             "a decoded reply does not survive encoding");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaximumStream) return -1;
  auto sockets = connectedPair();
  sendWhole(sockets.peer.get(), {data, size});
  ::shutdown(sockets.peer.get(), SHUT_WR);
  for (;;) {
    const auto frame = readFrame(sockets.helper.get());
    if (!frame) break;
    expect(!frame->payload.empty() && frame->payload.size() <= kMaximumFrameLength,
           "a frame outside the length limits was read");
    takeAsCall(frame->payload);
    takeAsReply(frame->payload);
  }
  return 0;
}
