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

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/transport/listener.h"
#include "platform/linux/transport/socket_activation.h"
#include "platform/log.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

inline constexpr const char* kServiceSocketDirectory = "/var/run";

// What the large frames of every connection together may take (FrameBudget).
inline constexpr std::size_t kFrameBudget = 128 * 1024 * 1024;

class LinuxTransport : public Transport {
 public:
  // Service sockets live in `socketDirectory`: /var/run on a system, a temporary folder in tests.
  // Why a peer was cut off for breaking the trust it was accepted with goes to `log`.
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
  // accepted (those that wait are left for the next start) and no request starts; then waits
  // until the requests that run on other connections have finished, or `bound` has passed.
  void finishRequests(std::chrono::milliseconds bound);

  // Where the named service's socket is.
  std::string socketPath(const std::string& name) const;

 private:
  std::optional<ActivatedSocket> takeActivated(const std::string& name);

  std::string socketDirectory_;
  FrameBudget frames_{kFrameBudget};
  RequestGate requests_;
  ConnectionServices services_;
  std::shared_ptr<UniqueFd> loopWake_;
  UniqueFd stopEvent_;

  std::mutex mutex_;
  std::vector<std::shared_ptr<LinuxListener>> listeners_;
  std::vector<ActivatedSocket> activated_;
  bool activationTaken_ = false;
};

}  // namespace tarnel::linux_platform
