// Ending the process: the stand-in for exit().
#pragma once

namespace tarnel {

class ProcessExit {
 public:
  virtual ~ProcessExit() = default;
  // Flushes what must reach the log and ends the process with `status` without running static
  // destructors under the feet of threads still serving other connections. A fake records the
  // call and returns, so callers return right after calling it.
  virtual void exit(int status) = 0;
};

}  // namespace tarnel
