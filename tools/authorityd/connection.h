// One client of the server: the references it holds, and its requests answered one at a time in
// order. A client that breaks the protocol is cut off; the references it held go with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string_view>

#include "platform/linux/authorization/protocol.h"
#include "platform/linux/posix/process_identity.h"
#include "platform/linux/serving/accepted_connection.h"
#include "platform/linux/serving/budgeted_frame_reader.h"
#include "platform/linux/serving/frame_budget.h"
#include "tools/authorityd/authorization_store.h"
#include "tools/authorityd/server_settings.h"

namespace tarnel::authorityd {

inline constexpr std::size_t kMaximumReferencesPerConnection = 64;

class Connection {
 public:
  // Serves `accepted`, whose client end is `peer`, the creator of what it creates; its large
  // frames wait for room in `frames`.
  Connection(std::shared_ptr<linux_platform::AcceptedConnection> accepted,
             linux_platform::ConnectedPeer peer, linux_platform::FrameBudget& frames,
             AuthorizationStore& store, const ServerSettings& settings);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Answers the client's requests until it leaves, breaks the protocol or is cut.
  void serve();
  // Ends serve() from any thread, also from a wait for room for a frame.
  void cut() { stopReading_.request_stop(); }

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
  bool peerStillConnected() const;
  void logCut(std::string_view why) const;

  std::shared_ptr<linux_platform::AcceptedConnection> accepted_;
  linux_platform::ConnectedPeer peer_;
  Creator creator_;
  std::stop_source stopReading_;
  linux_platform::BudgetedFrameReader reader_;
  AuthorizationStore& store_;
  const ServerSettings& settings_;
  std::map<linux_platform::AuthorizationReference, AuthorizationExternalForm> references_;
  linux_platform::AuthorizationReference lastReference_ = 0;
};

}  // namespace tarnel::authorityd
