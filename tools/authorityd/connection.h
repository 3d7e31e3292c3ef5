// One client of the server: the references it holds, and its requests answered one at a time in
// order. A client that breaks the protocol is cut off; the references it held go with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "platform/linux/authorization/protocol.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/wire/frame_io.h"
#include "tools/authorityd/authorization_store.h"
#include "tools/authorityd/server_settings.h"

namespace tarnel::authorityd {

inline constexpr std::size_t kMaximumReferencesPerConnection = 64;

class Connection {
 public:
  // Serves `socket`, whose client end is `peer`, the creator of what it creates.
  Connection(linux_platform::UniqueFd socket, Creator peer, AuthorizationStore& store,
             const ServerSettings& settings)
      : socket_(std::move(socket)),
        reader_(socket_.get(),
                linux_platform::FrameReader::Options{.frameTimeLimit =
                                                         linux_platform::kFrameTimeLimit}),
        peer_(peer),
        store_(store),
        settings_(settings) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Answers the client's requests until it leaves or breaks the protocol.
  void serve();

 private:
  linux_platform::AuthorizationReply answer(const linux_platform::CreateRequest& request);
  linux_platform::AuthorizationReply answer(
      const linux_platform::CreateFromExternalFormRequest& request);
  linux_platform::AuthorizationReply answer(const linux_platform::MakeExternalFormRequest& request);
  linux_platform::AuthorizationReply answer(const linux_platform::CopyRightsRequest& request);
  linux_platform::AuthorizationReply answer(const linux_platform::FreeRequest& request);

  // A new reference of this connection to `form`; nothing when it holds as many as it may.
  std::optional<linux_platform::AuthorizationReference> addReference(
      const AuthorizationExternalForm& form);
  // Every byte of the frame came from the process that connected, not from one it passed the
  // connection to.
  bool cameFromPeer(const linux_platform::ReceivedFrame& frame) const;
  bool peerStillConnected() const;

  linux_platform::UniqueFd socket_;
  linux_platform::FrameReader reader_;
  Creator peer_;
  AuthorizationStore& store_;
  const ServerSettings& settings_;
  std::map<linux_platform::AuthorizationReference, AuthorizationExternalForm> references_;
  linux_platform::AuthorizationReference lastReference_ = 0;
};

}  // namespace tarnel::authorityd
