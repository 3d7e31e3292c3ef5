// One accepted connection on Linux: the stand-in for NSXPCConnection on the service's side. It
// delivers its peer's calls, in order, to the exported object on the thread that serves it, and
// cuts the peer off at the first message that breaks the protocol.
#pragma once

#include <chrono>
#include <condition_variable>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "platform/linux/serving/accepted_connection.h"
#include "platform/linux/serving/budgeted_frame_reader.h"
#include "platform/linux/serving/frame_budget.h"
#include "platform/linux/transport/interface.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/transport/peer_pin.h"
#include "platform/log.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

// What every connection of a transport shares: where it says why it cut a peer off, and the
// budget of its large frames.
struct ConnectionServices {
  Log& log;
  FrameBudget& frames;
};

class LinuxConnection : public XPCConnection {
 public:
  // Takes an accepted connection; the peer's audit token and pidfd are taken now, as the kernel
  // recorded them when the peer connected, and the image it runs is held from now on: this reads
  // the peer, and is made on the connection's own thread. The socket closes when the connection
  // and every reply block made for it have gone.
  LinuxConnection(std::shared_ptr<AcceptedConnection> accepted, ConnectionServices services);
  ~LinuxConnection() override;
  LinuxConnection(const LinuxConnection&) = delete;
  LinuxConnection& operator=(const LinuxConnection&) = delete;

  // An interface that the Linux transport did not make lets no call through.
  void setExportedInterface(std::shared_ptr<const XPCInterface> interface) override;
  void setExportedObject(ExportedObject* object) override;
  void resume() override;
  std::optional<Bytes> auditToken() const override;
  // Shuts the socket down at once, waking the thread that serves it, also from a wait for room
  // for a frame; safe from any thread.
  void invalidate() override;

  // Run by the thread of the connection's own once the delegate took it: waits until it is
  // resumed, tells the peer that it may speak, then delivers the peer's calls until the peer
  // leaves, the connection is invalidated, the peer breaks the protocol, which invalidates it, or
  // the end is over (what arrives then is not delivered; RequestGate). A frame that has begun must
  // be whole within kFrameTimeLimit; between frames a peer may wait as long as it likes. A peer
  // that spoke before it was told breaks the protocol; so does one that, by the time it is told or
  // any message of its arrives, is no longer the process that was validated as it was then
  // (PeerPin::breach).
  void serve();

 private:
  // The socket as the reply blocks hold it: they may outlive the connection.
  struct Channel;

  // Why a connection stops reading.
  enum class End { peerLeft, protocolBroken };

  // Sends the ready frame, unless the peer has sent anything before it or is no longer what was
  // validated; false when so, or when the frame could not be written.
  bool announceReady();
  // Whether the peer is still what was validated; logs why not.
  bool peerKeepsTrust();
  // A call that may be delivered: its message, the method it calls, and the room its frame holds
  // until the call has been carried out.
  struct Call {
    CallMessage message;
    const MethodSignature* method;
    FrameBudget::Reservation room;
  };
  std::expected<Call, End> nextCall();
  ReplyBlock replyBlockFor(std::uint64_t callId);

  std::shared_ptr<Channel> channel_;
  PeerPin pin_;
  ConnectionServices services_;
  std::stop_source stopReading_;
  BudgetedFrameReader reader_;

  mutable std::mutex mutex_;
  std::condition_variable stateChanged_;
  bool resumed_ = false;
  bool invalidated_ = false;
  std::shared_ptr<const LinuxInterface> interface_;
  ExportedObject* object_ = nullptr;
};

}  // namespace tarnel::linux_platform
