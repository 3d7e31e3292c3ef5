// The one server loop: waits on the listening sockets of its acceptors and accepts, cuts the
// validations that outlast their limit, and waits for the threads of connections that ended. It
// never reads a peer and never holds a lock while anything waits on one.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/serving/connection_acceptor.h"
#include "platform/linux/serving/loop_wake.h"

namespace tarnel::linux_platform {

class ServerLoop {
 public:
  ServerLoop();
  ServerLoop(const ServerLoop&) = delete;
  ServerLoop& operator=(const ServerLoop&) = delete;

  // What the acceptors of this loop signal it with.
  const std::shared_ptr<LoopWake>& wake() const { return wake_; }
  // Serves `acceptor` from now on, while its owner keeps it; safe from any thread.
  void add(std::shared_ptr<ConnectionAcceptor> acceptor);
  // Serves until stop().
  void run();
  // Makes run() return; safe from any thread, also before it runs.
  void stop();

 private:
  std::shared_ptr<LoopWake> wake_;
  LoopWake stop_;
  std::mutex mutex_;
  std::vector<std::weak_ptr<ConnectionAcceptor>> acceptors_;
};

}  // namespace tarnel::linux_platform
