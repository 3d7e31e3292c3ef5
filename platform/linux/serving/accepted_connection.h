// A connection as the accept loop hands it to the thread that serves it: the socket, the user at
// the other end, the time limit on judging its peer, its place in the end (RequestGate), and the
// cut, which the loop may make from its own thread at any time.
#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <optional>

#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/serving/request_gate.h"

namespace tarnel::linux_platform {

class AcceptedConnection {
 public:
  // `admission` holds the connection's place in `gate`'s end.
  AcceptedConnection(UniqueFd socket, uid_t user, RequestGate& gate, RequestGate::Hold admission)
      : socket_(std::move(socket)), user_(user), gate_(gate), admission_(std::move(admission)) {}
  AcceptedConnection(const AcceptedConnection&) = delete;
  AcceptedConnection& operator=(const AcceptedConnection&) = delete;

  // Open until the object goes, so that its number is never reused under a reader.
  int socket() const { return socket_.get(); }
  // The user at the other end, as the kernel recorded it at the connect.
  uid_t user() const { return user_; }

  // The peer has been judged: the validation time limit no longer runs for it.
  void validated();
  bool isValidated() const;

  // What else the cut must do beside shutting the socket down (wake the serving thread's own
  // waits); run at once if the connection was cut already.
  void onCut(std::function<void()> cut);
  // Shuts the socket down, so that the peer sees the end and a read of it wakes, and runs what
  // onCut gave; the connection's place in the end is given up. Safe from any thread.
  void cut();

  // A request about to start, held until it has been carried out; nothing once the end is over.
  std::optional<RequestGate::Hold> startRequest();
  // The serving thread is done with the connection: it owes the end nothing more.
  void finished();

 private:
  UniqueFd socket_;
  const uid_t user_;
  RequestGate& gate_;

  mutable std::mutex mutex_;
  std::optional<RequestGate::Hold> admission_;
  std::function<void()> onCut_;
  bool cut_ = false;
  bool validated_ = false;
};

}  // namespace tarnel::linux_platform
