// The end of a server as its connections see it. Until the end begins, connections are admitted
// and requests start; once it begins, no connection is accepted any more (those still waiting
// stay in the listening socket for the next start), while a connection accepted before is served
// until the end is over. The end waits, within its bound, for every request that runs and for
// every connection admitted that has not yet had its first request carried out: a peer told that
// it may speak is answered. Each gate keeps its own state: two gates never see each other's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tarnel::linux_platform {

class RequestGate {
 public:
  // What the end waits for, until the object goes (or, for a request, until its own thread ends
  // the process); the gate must outlive it.
  class Hold {
   public:
    Hold(Hold&& other) noexcept : gate_(std::exchange(other.gate_, nullptr)), id_(other.id_) {}
    Hold& operator=(Hold&& other) noexcept {
      if (this != &other) {
        giveUp();
        gate_ = std::exchange(other.gate_, nullptr);
        id_ = other.id_;
      }
      return *this;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    ~Hold() { giveUp(); }

   private:
    friend class RequestGate;
    Hold(RequestGate* gate, std::uint64_t id) : gate_(gate), id_(id) {}
    void giveUp() {
      if (gate_ != nullptr) std::exchange(gate_, nullptr)->release(id_);
    }
    RequestGate* gate_;
    std::uint64_t id_;
  };

  // A connection about to be accepted, held until its first request is carried out or it ends;
  // nothing once the end has begun. Taken before the accept, so that no connection accepted
  // after the end began is ever counted as one accepted before.
  std::optional<Hold> admit();
  // A request about to start, held on the calling thread until it is carried out; it takes over
  // from `admission`, the connection's, if it still holds. Nothing once the end is over.
  std::optional<Hold> enter(std::optional<Hold>& admission);

  bool closed() const;

  // Begins the end. The calling thread's own request, if it runs one, is carried out as far as
  // the end is concerned: two requests that both end the process would wait for each other.
  void close();
  // Waits until nothing is held, or until `bound` has passed; after it no request starts.
  void drain(std::chrono::milliseconds bound);

 private:
  void release(std::uint64_t id);

  mutable std::mutex mutex_;
  std::condition_variable released_;
  // Each hold, with the thread of the request it stands for (none for an admission).
  std::map<std::uint64_t, std::optional<std::thread::id>> held_;
  std::uint64_t nextId_ = 0;
  bool closed_ = false;
  bool over_ = false;
};

}  // namespace tarnel::linux_platform
