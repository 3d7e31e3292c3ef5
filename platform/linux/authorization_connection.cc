#include "platform/linux/authorization_connection.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "platform/linux/frame_io.h"

namespace tarnel::linux_platform {

std::optional<AuthorizationConnection> AuthorizationConnection::open(
    const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return std::nullopt;
  // An interrupted connect goes on in the background; refusing it is simpler than waiting for it.
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return std::nullopt;
  }
  return AuthorizationConnection(std::move(socket));
}

AuthorizationReply AuthorizationConnection::exchange(const AuthorizationRequest& request) {
  const AuthorizationReply failed{.status = errAuthorizationInternal};
  if (!socket_) return failed;
  if (writeFrame(socket_.get(), encodeRequest(request))) {
    if (const auto frame = readFrame(socket_.get())) {
      if (auto reply = decodeReply(frame->payload)) return *reply;
    }
  }
  // A peer that broke the protocol once is not trusted with the next request either.
  socket_.reset();
  return failed;
}

}  // namespace tarnel::linux_platform
