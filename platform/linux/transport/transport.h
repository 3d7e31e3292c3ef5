// Messaging between processes on Linux: the stand-in for NSXPCListener, NSXPCConnection,
// NSXPCInterface and the main run loop. A service name is the Unix stream socket
// <socket directory>/<name>, adopted from socket activation or bound here; messages are framed
// CBOR (docs/protocol.md).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/serving/descriptor_budget.h"
#include "platform/linux/serving/frame_budget.h"
#include "platform/linux/serving/request_gate.h"
#include "platform/linux/serving/server_loop.h"
#include "platform/linux/transport/listener.h"
#include "platform/linux/transport/socket_activation.h"
#include "platform/log.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

inline constexpr const char* kServiceSocketDirectory = "/var/run";

// What the large frames of every connection together may take (FrameBudget).
inline constexpr std::size_t kFrameBudget = 128 * 1024 * 1024;

// The descriptors of the helper's connections: the socket, and for its peer a pidfd, the /proc
// folder, its tasks, its status and its memory (PeerPin); and those of its own work, apart from
// them: the listening socket, the loop's events, the accept reserve, the log, its own executable
// and what a request runs (launchctl and its pipes, the files it writes).
inline constexpr DescriptorNeeds kDescriptorNeeds{.perConnection = 6, .ownWork = 64};

class LinuxTransport : public Transport {
 public:
  // Service sockets live in `socketDirectory`: /var/run on a system, a temporary folder in tests.
  // Why a peer was cut off for breaking the trust it was accepted with goes to `log`. Raises the
  // descriptor limit to its hard limit and sizes the connection shares from it.
  explicit LinuxTransport(Log& log, std::string socketDirectory = kServiceSocketDirectory);
  ~LinuxTransport() override;
  LinuxTransport(const LinuxTransport&) = delete;
  LinuxTransport& operator=(const LinuxTransport&) = delete;

  // The service's socket: one passed by socket activation under the service's name (or the only
  // one passed, or the one bound to the service's path), else one bound at the path here.
  std::expected<std::shared_ptr<XPCListener>, PlatformError> listenerForMachService(
      const std::string& name) override;
  std::shared_ptr<const XPCInterface> interfaceWithProtocol(
      const RemoteProtocol& protocol) override;
  // Accepts connections for every resumed listener until stop().
  void runMainLoop() override;

  // Makes runMainLoop return; safe from any thread, also before the loop runs.
  void stop();

  // The end of the process, as far as the transport is concerned: from now on no connection is
  // accepted (those that wait are left for the next start); the connections accepted before are
  // served until every running request has finished and every one of them has had its first
  // request carried out, or `bound` has passed (RequestGate); after that no request starts.
  void finishRequests(std::chrono::milliseconds bound);

  // The connection shares, as sized from the descriptor limit.
  const ShareSizes& shareSizes() const { return sizes_; }

  // Where the named service's socket is.
  std::string socketPath(const std::string& name) const;

 private:
  std::optional<ActivatedSocket> takeActivated(const std::string& name);

  std::string socketDirectory_;
  ShareSizes sizes_;
  FrameBudget frames_{kFrameBudget};
  RequestGate requests_;
  ConnectionServices services_;
  ServerLoop loop_;

  std::mutex mutex_;
  std::vector<std::shared_ptr<LinuxListener>> listeners_;
  std::vector<ActivatedSocket> activated_;
  bool activationTaken_ = false;
};

}  // namespace tarnel::linux_platform
