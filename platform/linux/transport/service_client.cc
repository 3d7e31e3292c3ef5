#include "platform/linux/transport/service_client.h"

#include <sys/prctl.h>

#include <cerrno>

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/transport/method_signature.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

std::expected<ServiceClient, PlatformError> ServiceClient::connectToService(
    const std::string& name, const std::string& socketDirectory) {
  return connectToEndpoint(ListenerEndpoint{socketDirectory + "/" + name});
}

std::expected<ServiceClient, PlatformError> ServiceClient::connectToEndpoint(
    const ListenerEndpoint& endpoint) {
  if (::prctl(PR_SET_DUMPABLE, 0) != 0) return std::unexpected(posixError("prctl", errno));
  auto socket = connectTo(endpoint.socketAddress);
  if (!socket) return std::unexpected(socket.error());
  return ServiceClient(std::move(*socket));
}

std::expected<std::vector<ReplyArgument>, CallFailure> ServiceClient::call(
    const RemoteMethod& method, std::vector<Value> arguments) {
  const auto id = nextCallId_++;
  return exchange(method, id,
                  encodeCall(CallMessage{
                      .id = id, .selector = method.selector, .arguments = std::move(arguments)}));
}

std::expected<std::vector<ReplyArgument>, CallFailure> ServiceClient::callWithEncodedArguments(
    const RemoteMethod& method, const std::vector<Bytes>& encodedArguments) {
  const auto id = nextCallId_++;
  return exchange(method, id,
                  encodeCallWithEncodedArguments(id, method.selector, encodedArguments));
}

std::expected<void, CallFailure> ServiceClient::awaitReady() {
  if (ready_) return {};
  const auto frame = reader_.next();
  // However the connection ended, nothing had been sent on it: the service refused it.
  if (!frame) return std::unexpected(CallFailure::invalidated);
  if (!isReady(frame->payload)) return std::unexpected(CallFailure::badReply);
  ready_ = true;
  return {};
}

std::expected<std::vector<ReplyArgument>, CallFailure> ServiceClient::exchange(
    const RemoteMethod& method, std::uint64_t id, const Bytes& payload) {
  const auto signature = parseMethodSignature(method.typeEncoding);
  if (!signature) return std::unexpected(CallFailure::unknownMethod);
  if (auto ready = awaitReady(); !ready) return std::unexpected(ready.error());
  if (!writeFrame(socket_.get(), payload)) return std::unexpected(CallFailure::invalidated);
  if (!signature->reply) return std::vector<ReplyArgument>{};

  const auto frame = reader_.next();
  if (!frame) {
    switch (frame.error()) {
      case FrameReadError::failed:
        // Linux reports a peer that closed with our bytes unread as a reset: it never read the
        // call.
        if (errno == ECONNRESET) return std::unexpected(CallFailure::invalidated);
        return std::unexpected(CallFailure::endedWithoutReply);
      case FrameReadError::endOfStream:
      case FrameReadError::truncated:
        return std::unexpected(CallFailure::endedWithoutReply);
      case FrameReadError::badLength:
      // The client sets no time limit and no budget: neither can happen here.
      case FrameReadError::tooSlow:
      case FrameReadError::stopped:
        break;
    }
    return std::unexpected(CallFailure::badReply);
  }
  auto reply = decodeReply(frame->payload, *signature->reply);
  if (!reply || reply->id != id) return std::unexpected(CallFailure::badReply);
  return std::move(reply->arguments);
}

}  // namespace tarnel::linux_platform
