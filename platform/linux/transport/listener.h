// A service's listening socket on Linux: the stand-in for NSXPCListener. The main loop accepts;
// each new connection is offered to the delegate on a thread of its own, which then serves it if
// the delegate took it, so that neither a slow validation nor a slow request holds up the others.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/transport/connection.h"
#include "platform/linux/wire/connection_shares.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

// Connections served at once of peers other than root, and of any one of them; one more is
// closed as soon as it is accepted. Root's own are counted apart, so that a user who holds all
// it may never keeps root out.
inline constexpr std::size_t kMaximumConnections = 256;
inline constexpr std::size_t kMaximumConnectionsPerUser = 32;
// The time from a connection's accept to the delegate's verdict; past it the connection is cut.
inline constexpr std::chrono::seconds kValidationTimeLimit{10};

class LinuxListener : public XPCListener, public std::enable_shared_from_this<LinuxListener> {
 public:
  // Listens on `socket` (listening, non-blocking, close-on-exec), whose address is
  // `socketAddress`; every change the main loop must see is signalled on `loopWake`, an eventfd.
  // Its connections share `services`.
  LinuxListener(UniqueFd socket, std::optional<std::string> socketAddress,
                std::shared_ptr<UniqueFd> loopWake, ConnectionServices services);
  // Invalidates every connection still served and waits for its thread.
  ~LinuxListener() override;
  LinuxListener(const LinuxListener&) = delete;
  LinuxListener& operator=(const LinuxListener&) = delete;

  void setDelegate(XPCListenerDelegate* delegate) override;
  void resume() override;
  // The socket address, which a client connects to as it does to the service's name.
  std::optional<ListenerEndpoint> endpoint() const override;

  // For the main loop.
  int listeningSocket() const { return socket_.get(); }
  // Whether the loop should wait for connections: resumed, and not out of descriptors until a
  // connection ends (a listening socket it cannot accept from would wake the loop forever).
  bool accepting() const { return resumed_ && !starved_; }
  // Accepts every connection waiting, and starts the thread of each, or closes it at once when
  // its user holds its share of connections, or all are taken.
  void acceptPending();
  // Cuts every connection whose validation has lasted past kValidationTimeLimit; when the next
  // such limit falls, if any connection is being validated.
  std::optional<std::chrono::steady_clock::time_point> cutSlowValidations(
      std::chrono::steady_clock::time_point now);
  // Waits for the threads of connections that have ended.
  void reapFinished();
  std::size_t connectionsServed() const;

 private:
  struct Served {
    std::weak_ptr<LinuxConnection> connection;
    std::thread thread;
    ConnectionShares::Slot slot;
    // While the delegate judges it: when it must have decided.
    std::optional<std::chrono::steady_clock::time_point> validationDeadline;
  };

  static void offerAndServe(std::weak_ptr<LinuxListener> listener,
                            std::shared_ptr<LinuxConnection> connection, std::uint64_t id);
  void validated(std::uint64_t id);
  void finished(std::uint64_t id);
  void wakeLoop() const;

  UniqueFd socket_;
  std::optional<std::string> socketAddress_;
  std::shared_ptr<UniqueFd> loopWake_;
  ConnectionServices services_;
  std::atomic<XPCListenerDelegate*> delegate_ = nullptr;
  std::atomic<bool> resumed_ = false;
  std::atomic<bool> starved_ = false;

  mutable std::mutex mutex_;
  // Before the connections, whose slots it must outlive.
  ConnectionShares shares_{kMaximumConnections, kMaximumConnectionsPerUser};
  std::map<std::uint64_t, Served> served_;
  std::vector<std::uint64_t> finished_;
  std::uint64_t nextId_ = 0;
};

}  // namespace tarnel::linux_platform
