// A service's listening socket on Linux: the stand-in for NSXPCListener, on the server loop's
// ConnectionAcceptor. Each new connection is built, offered to the delegate and served on a
// thread of its own, so that neither reading a peer, nor a slow validation, nor a slow request
// holds up the accept loop or the other connections.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/serving/connection_acceptor.h"
#include "platform/linux/transport/connection.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

// Connections served at once of peers other than root, and of any one of them, where descriptors
// allow (sizeShares); one more is closed as soon as it is accepted. Root's own are counted apart,
// so that a user who holds all it may never keeps root out.
inline constexpr ShareSizes kWantedShares{
    .connections = 256, .perUser = 32, .stuck = 64, .stuckPerUser = 8};

class LinuxListener : public XPCListener, public std::enable_shared_from_this<LinuxListener> {
 public:
  // Listens on `socket` (listening, non-blocking, close-on-exec), whose address is
  // `socketAddress`, within `sizes`; its connections share `services`, and the end is `gate`'s.
  // Served once `loop` has it: start() hands it over.
  LinuxListener(UniqueFd socket, std::optional<std::string> socketAddress,
                ConnectionServices services, ShareSizes sizes, RequestGate& gate,
                std::shared_ptr<LoopWake> wake);
  // Cuts every connection still served and waits for its thread.
  ~LinuxListener() override;
  LinuxListener(const LinuxListener&) = delete;
  LinuxListener& operator=(const LinuxListener&) = delete;

  void setDelegate(XPCListenerDelegate* delegate) override;
  void resume() override;
  // The socket address, which a client connects to as it does to the service's name.
  std::optional<ListenerEndpoint> endpoint() const override;

  // For the server loop.
  const std::shared_ptr<ConnectionAcceptor>& acceptor() const { return acceptor_; }

 private:
  // On the connection's own thread: reads the peer, offers it to the delegate, serves it.
  void offerAndServe(const std::shared_ptr<AcceptedConnection>& accepted);

  std::optional<std::string> socketAddress_;
  ConnectionServices services_;
  std::atomic<XPCListenerDelegate*> delegate_ = nullptr;
  std::shared_ptr<ConnectionAcceptor> acceptor_;
};

}  // namespace tarnel::linux_platform
