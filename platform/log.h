// The system log: the stand-in for NSLog.
#pragma once

#include <string_view>

namespace tarnel {

class Log {
 public:
  virtual ~Log() = default;
  // Writes one line, one event, exactly as given.
  virtual void write(std::string_view line) = 0;
};

}  // namespace tarnel
