#include "platform/linux/authorization/server_connection.h"

#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

std::optional<AuthorizationConnection> AuthorizationConnection::open(
    const std::string& socketPath) {
  auto socket = connectTo(socketPath);
  if (!socket) return std::nullopt;
  return AuthorizationConnection(std::move(*socket));
}

AuthorizationReply AuthorizationConnection::exchange(const AuthorizationRequest& request) {
  const AuthorizationReply failed{.status = errAuthorizationInternal};
  if (!socket_) return failed;
  if (writeFrame(socket_.get(), encodeRequest(request))) {
    if (const auto frame = reader_.next()) {
      if (auto reply = decodeReply(frame->payload)) return *reply;
    }
  }
  // A peer that broke the protocol once is not trusted with the next request either.
  socket_.reset();
  return failed;
}

}  // namespace tarnel::linux_platform
