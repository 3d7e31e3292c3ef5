// One connection to the authorization server, over which a process makes and uses its
// references. Anything short of a well-formed reply (no server, a reply that breaks off or does
// not decode) ends the connection and reads as errAuthorizationInternal: never as a grant.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/authorization/protocol.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

class AuthorizationConnection {
 public:
  // Nothing when no server answers at `socketPath`.
  static std::optional<AuthorizationConnection> open(const std::string& socketPath);

  // The server's reply to `request`; status errAuthorizationInternal, and the connection closed,
  // when there is none.
  AuthorizationReply exchange(const AuthorizationRequest& request);

 private:
  explicit AuthorizationConnection(UniqueFd socket)
      : socket_(std::move(socket)), reader_(socket_.get()) {}

  UniqueFd socket_;
  FrameReader reader_;
};

}  // namespace tarnel::linux_platform
