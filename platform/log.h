// The system log: the stand-in for NSLog.
#pragma once

#include <string_view>

namespace tarnel {

class Log {
 public:
  virtual ~Log() = default;
  // Writes one line, one event, exactly as given, except that a control character (a newline in
  // a client's path) is escaped so that it can neither split the line nor forge another.
  virtual void write(std::string_view line) = 0;
};

}  // namespace tarnel
