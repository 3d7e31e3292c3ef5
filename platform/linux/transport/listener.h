// A service's listening socket on Linux: the stand-in for NSXPCListener. The main loop accepts;
// each new connection is offered to the delegate on a thread of its own, which then serves it if
// the delegate took it, so that neither a slow validation nor a slow request holds up the others.
#pragma once

#include <atomic>
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
#include "platform/transport.h"

namespace tarnel::linux_platform {

// Connections served at once; one more is closed as soon as it is accepted.
inline constexpr std::size_t kMaximumConnections = 256;

class LinuxListener : public XPCListener, public std::enable_shared_from_this<LinuxListener> {
 public:
  // Listens on `socket` (listening, non-blocking, close-on-exec), whose address is
  // `socketAddress`; every change the main loop must see is signalled on `loopWake`, an eventfd.
  // Its connections log to `log`.
  LinuxListener(UniqueFd socket, std::optional<std::string> socketAddress,
                std::shared_ptr<UniqueFd> loopWake, Log& log);
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
  // Accepts every connection waiting, and starts the thread of each.
  void acceptPending();
  // Waits for the threads of connections that have ended.
  void reapFinished();
  std::size_t connectionsServed() const;

 private:
  struct Served {
    std::weak_ptr<LinuxConnection> connection;
    std::thread thread;
  };

  static void offerAndServe(std::weak_ptr<LinuxListener> listener,
                            std::shared_ptr<LinuxConnection> connection, std::uint64_t id);
  void finished(std::uint64_t id);
  void wakeLoop() const;

  UniqueFd socket_;
  std::optional<std::string> socketAddress_;
  std::shared_ptr<UniqueFd> loopWake_;
  Log& log_;
  std::atomic<XPCListenerDelegate*> delegate_ = nullptr;
  std::atomic<bool> resumed_ = false;
  std::atomic<bool> starved_ = false;

  mutable std::mutex mutex_;
  std::map<std::uint64_t, Served> served_;
  std::vector<std::uint64_t> finished_;
  std::uint64_t nextId_ = 0;
};

}  // namespace tarnel::linux_platform
