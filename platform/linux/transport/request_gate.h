// The requests of a process's connections, as ending the process sees them: while the gate is
// open a request may start; once it is closed none starts, and the end waits for those that run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tarnel::linux_platform {

class RequestGate {
 public:
  // Whether a request may start; if so it counts as running, on this thread, until leave().
  bool enter();
  void leave();

  bool closed() const;

  // Closes the gate: no request starts from now on. The calling thread's own request, if it runs
  // one, ends here: it has done all it will do.
  void close();
  // Waits until no request runs, or until `bound` has passed.
  void drain(std::chrono::milliseconds bound);

 private:
  mutable std::mutex mutex_;
  std::condition_variable finished_;
  std::size_t running_ = 0;
  bool closed_ = false;
};

}  // namespace tarnel::linux_platform
