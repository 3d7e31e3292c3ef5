#include "platform/linux/transport/listener.h"

#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

LinuxListener::LinuxListener(UniqueFd socket, std::optional<std::string> socketAddress,
                             ConnectionServices services, ShareSizes sizes, RequestGate& gate,
                             std::shared_ptr<LoopWake> wake)
    : socketAddress_(std::move(socketAddress)), services_(services) {
  // Accepted sockets inherit it, so that even a call sent before the accept carries its sender.
  receiveSenderCredentials(socket.get(), SenderPidfds::notAttached);
  // The acceptor's threads end before the listener does (its destructor waits for them), so
  // they may use it.
  acceptor_ = std::make_shared<ConnectionAcceptor>(
      std::move(socket), sizes, gate,
      [this](const std::shared_ptr<AcceptedConnection>& accepted) { offerAndServe(accepted); },
      std::move(wake));
}

LinuxListener::~LinuxListener() {
  // The last reference to a listener may go on one of its own connections' threads, which the
  // acceptor then leaves running: it touches nothing of the listener after dropping it.
  acceptor_->shutDown();
}

void LinuxListener::setDelegate(XPCListenerDelegate* delegate) { delegate_ = delegate; }

void LinuxListener::resume() { acceptor_->start(); }

std::optional<ListenerEndpoint> LinuxListener::endpoint() const {
  if (!socketAddress_) return std::nullopt;
  return ListenerEndpoint{*socketAddress_};
}

void LinuxListener::offerAndServe(const std::shared_ptr<AcceptedConnection>& accepted) {
  // Reads the peer: here, on the connection's own thread, under the validation time limit.
  auto connection = std::make_shared<LinuxConnection>(accepted, services_);
  accepted->onCut([weak = std::weak_ptr(connection)] {
    if (auto cut = weak.lock()) cut->invalidate();
  });
  bool taken = false;
  if (auto listener = weak_from_this().lock()) {
    if (auto* delegate = delegate_.load()) {
      taken = delegate->shouldAcceptNewConnection(listener, *connection);
    }
  }
  accepted->validated();
  if (taken) connection->serve();
  // A refused connection closes here, unread: its peer sees the connection reset.
}

}  // namespace tarnel::linux_platform
