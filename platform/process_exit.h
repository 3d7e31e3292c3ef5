// Ending the process: the stand-in for exit().
#pragma once

namespace tarnel {

class ProcessExit {
 public:
  virtual ~ProcessExit() = default;
  // Ends the process with `status`: from now on no connection is taken and no request starts
  // (what arrives is left for the next start); the requests already running on other connections
  // finish and answer, within a bound; what must reach the log is flushed; and the process ends
  // without running static destructors under the feet of threads still serving connections. A
  // fake records the call and returns, so callers return right after calling it.
  virtual void exit(int status) = 0;
};

}  // namespace tarnel
