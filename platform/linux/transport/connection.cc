#include "platform/linux/transport/connection.h"

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <atomic>
#include <new>
#include <utility>

#include "platform/linux/posix/audit_token.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

struct LinuxConnection::Channel {
  explicit Channel(std::shared_ptr<AcceptedConnection> a) : accepted(std::move(a)) {}

  // Writes one frame whole. A frame that cannot be written ends the connection, so that the peer
  // learns that no answer is coming instead of waiting for it.
  bool send(const Bytes& payload) {
    std::lock_guard lock(writing);
    if (writeFrame(accepted->socket(), payload)) return true;
    shutDown();
    return false;
  }

  // The peer reads the end of the stream; a thread blocked reading it wakes. The descriptor stays
  // open until the last holder goes, so that its number is never reused under a reader.
  void shutDown() { ::shutdown(accepted->socket(), SHUT_RDWR); }

  std::shared_ptr<AcceptedConnection> accepted;
  std::mutex writing;
};

LinuxConnection::LinuxConnection(std::shared_ptr<AcceptedConnection> accepted,
                                 ConnectionServices services)
    : channel_(std::make_shared<Channel>(std::move(accepted))),
      pin_(channel_->accepted->socket(), peerAuditToken(channel_->accepted->socket())),
      services_(services),
      reader_(channel_->accepted->socket(), services_.frames, stopReading_.get_token()) {
  // No pidfd per read: while the pinned process lives, its id names it alone (PeerPin).
  receiveSenderCredentials(channel_->accepted->socket(), SenderPidfds::notAttached);
}

LinuxConnection::~LinuxConnection() = default;

void LinuxConnection::setExportedInterface(std::shared_ptr<const XPCInterface> interface) {
  std::lock_guard lock(mutex_);
  interface_ = std::dynamic_pointer_cast<const LinuxInterface>(std::move(interface));
}

void LinuxConnection::setExportedObject(ExportedObject* object) {
  std::lock_guard lock(mutex_);
  object_ = object;
}

void LinuxConnection::resume() {
  std::lock_guard lock(mutex_);
  resumed_ = true;
  stateChanged_.notify_all();
}

std::optional<Bytes> LinuxConnection::auditToken() const {
  if (!pin_.token()) return std::nullopt;
  return pin_.token()->encode();
}

void LinuxConnection::invalidate() {
  {
    std::lock_guard lock(mutex_);
    invalidated_ = true;
    stateChanged_.notify_all();
  }
  stopReading_.request_stop();
  channel_->shutDown();
}

void LinuxConnection::serve() {
  {
    std::unique_lock lock(mutex_);
    stateChanged_.wait(lock, [this] { return resumed_ || invalidated_; });
  }
  if (!announceReady()) {
    invalidate();
    return;
  }
  for (;;) {
    auto next = nextCall();
    if (!next) {
      // The peer left, or broke the protocol; either way nothing more is read. A peer that left
      // may still be owed replies by blocks kept elsewhere, which find the socket closed.
      if (next.error() == End::protocolBroken) invalidate();
      return;
    }
    auto& [message, method, room] = *next;
    ExportedObject* object = nullptr;
    {
      std::lock_guard lock(mutex_);
      object = object_;
    }
    // Once the end is over, nothing more starts: the peer finds the connection ended without
    // an answer, as it would had the process ended first.
    auto request = channel_->accepted->startRequest();
    if (!request) return;
    auto reply = method->reply ? replyBlockFor(message.id) : ReplyBlock([](auto) {});
    // The exported object answers its failures as replies and throws nothing (ExportedObject)
    // but running out of memory, which ends this connection alone: what it held is given back,
    // and the service goes on for everyone else.
    try {
      object->invoke(message.selector, std::move(message.arguments), std::move(reply));
    } catch (const std::bad_alloc&) {
      invalidate();
      return;
    }
  }
}

bool LinuxConnection::announceReady() {
  // The peer's process was validated by what it runs now, but an exec keeps its process, pidfd
  // and start time: bytes it sent before the validation may come from code that ran before the
  // code that was validated. Every such byte is queued by now, so an empty queue proves none.
  int queued = 0;
  if (::ioctl(channel_->accepted->socket(), FIONREAD, &queued) != 0 || queued != 0) return false;
  // Validated as it ran then: it must still run that image, unreachable to other processes.
  if (!peerKeepsTrust()) return false;
  return channel_->send(encodeReady());
}

bool LinuxConnection::peerKeepsTrust() {
  const auto breach = pin_.breach();
  if (!breach) return true;
  const auto pid = pin_.token() ? std::to_string(pin_.token()->processId) : std::string("?");
  services_.log.write("transport: cut off process " + pid + ": " + *breach);
  return false;
}

std::expected<LinuxConnection::Call, LinuxConnection::End> LinuxConnection::nextCall() {
  auto frame = reader_.next();
  if (!frame) {
    return std::unexpected(frame.error() == FrameReadError::endOfStream ? End::peerLeft
                                                                        : End::protocolBroken);
  }
  if (!pin_.admits(frame->frame.senders) || !peerKeepsTrust()) {
    return std::unexpected(End::protocolBroken);
  }
  auto call = decodeCall(frame->frame.payload);
  if (!call) return std::unexpected(End::protocolBroken);
  std::lock_guard lock(mutex_);
  if (invalidated_) return std::unexpected(End::peerLeft);
  const auto* method = interface_ ? interface_->method(call->selector) : nullptr;
  if (method == nullptr || object_ == nullptr ||
      !argumentsMatch(call->arguments, method->arguments)) {
    return std::unexpected(End::protocolBroken);
  }
  return Call{std::move(*call), method, std::move(frame->room)};
}

ReplyBlock LinuxConnection::replyBlockFor(std::uint64_t callId) {
  auto replied = std::make_shared<std::atomic<bool>>(false);
  return [channel = channel_, callId, replied](std::vector<ReplyArgument> arguments) {
    if (replied->exchange(true)) return;
    channel->send(encodeReply(callId, arguments));
  };
}

}  // namespace tarnel::linux_platform
