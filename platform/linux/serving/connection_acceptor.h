// One listening socket of a server: the accept, and the life of each connection as the loop sees
// it. Nothing here waits on a peer: the accept reads only what the kernel recorded at the connect
// (the peer's user), and everything else a connection needs (reading the peer, judging it,
// serving it) happens on a thread of the connection's own, under the validation time limit.
//
// Descriptors: one is kept in reserve. When the process is out of them, the reserve is given up
// to accept one waiting peer: root's connection is kept, any other's closed at once, and the
// reserve taken back. Without a reserve the listening socket is left unwatched (no spin) until a
// connection ends or a short retry is due (no failure kept).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/serving/accepted_connection.h"
#include "platform/linux/serving/connection_shares.h"
#include "platform/linux/serving/descriptor_budget.h"
#include "platform/linux/serving/loop_wake.h"
#include "platform/linux/serving/request_gate.h"

namespace tarnel::linux_platform {

class ConnectionAcceptor : public std::enable_shared_from_this<ConnectionAcceptor> {
 public:
  using Clock = std::chrono::steady_clock;
  // Run on the connection's own thread: judges the peer (calling validated() once it has), then
  // serves it until it leaves or is cut.
  using Handler = std::function<void(const std::shared_ptr<AcceptedConnection>&)>;

  // How long a listening socket starved of descriptors waits before it tries again.
  static constexpr std::chrono::milliseconds kStarvedRetry{100};

  // Accepts from `listening` (listening, non-blocking, close-on-exec) once started, within
  // `sizes`; each connection's place in the end is `gate`'s, which must outlive the acceptor.
  ConnectionAcceptor(UniqueFd listening, ShareSizes sizes, RequestGate& gate, Handler handler,
                     std::shared_ptr<LoopWake> wake);
  // Cuts every connection and waits for its thread (shutDown).
  ~ConnectionAcceptor();
  ConnectionAcceptor(const ConnectionAcceptor&) = delete;
  ConnectionAcceptor& operator=(const ConnectionAcceptor&) = delete;

  int listeningSocket() const { return listening_.get(); }
  void start();
  // Whether the loop should watch the listening socket: started, the end not begun, and not
  // starved of descriptors.
  bool wantsToAccept() const;
  // Accepts every connection waiting, checking the gate before each: each within its user's
  // share gets a thread of its own; any other is closed at once.
  void acceptPending();
  // Cuts each connection whose validation has outlasted kValidationTimeLimit, giving its share
  // back (its thread counted among the stuck ones); waits for the threads that have ended; ends a
  // starvation whose retry is due. When it must be called next, if it must.
  std::optional<Clock::time_point> tend(Clock::time_point now);
  // Cuts every connection and waits for its thread, but the caller's own; the handler runs no
  // more after it. For an owner whose handler uses it, before it goes.
  void shutDown();

 private:
  struct Served {
    std::shared_ptr<AcceptedConnection> connection;
    std::thread thread;
    std::optional<ConnectionShares::Slot> share;
    std::optional<ConnectionShares::Slot> stuck;  // cut at the limit, its thread not yet ended
    std::optional<Clock::time_point> validationDeadline;
  };

  static void serveOnThread(std::weak_ptr<ConnectionAcceptor> acceptor, Handler handler,
                            std::shared_ptr<AcceptedConnection> connection, std::uint64_t id);
  // An accept made with the reserve given up, out of descriptors (`shortage` says how): root's
  // connection, or an empty one when another's was closed, or why the accept failed; the
  // reserve is taken back.
  std::expected<UniqueFd, int> acceptWithReserve(int shortage);
  void serve(UniqueFd socket, uid_t user, RequestGate::Hold admission);
  void finished(std::uint64_t id);
  void starve();

  UniqueFd listening_;
  RequestGate& gate_;
  Handler handler_;
  std::shared_ptr<LoopWake> wake_;
  UniqueFd reserve_;
  std::atomic<bool> started_ = false;
  std::atomic<bool> starved_ = false;
  std::optional<Clock::time_point> retryAt_;  // the loop's alone

  mutable std::mutex mutex_;
  // Before the connections, whose slots they must outlive.
  ConnectionShares shares_;
  ConnectionShares stuck_;
  std::map<std::uint64_t, Served> served_;
  std::vector<std::uint64_t> finished_;
  std::uint64_t nextId_ = 0;
};

}  // namespace tarnel::linux_platform
