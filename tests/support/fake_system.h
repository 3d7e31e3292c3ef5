// The log, the clock and the process exit of the fake platform: each call is journalled, nothing
// happens (no real pause, no real exit).
#pragma once

#include <optional>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/process_exit.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakeLog : public Log {
 public:
  explicit FakeLog(Journal& journal) : journal_(journal) {}
  void write(std::string_view line) override {
    journal_.record(Source::log, "log " + std::string(line));
  }

 private:
  Journal& journal_;
};

class FakeClock : public Clock {
 public:
  explicit FakeClock(Journal& journal) : journal_(journal) {}
  void sleep(Seconds interval) override {
    std::ostringstream line;
    line << "sleep " << interval.count();
    journal_.record(Source::clock, line.str());
  }

 private:
  Journal& journal_;
};

class FakeProcessExit : public ProcessExit {
 public:
  explicit FakeProcessExit(Journal& journal) : journal_(journal) {}
  void exit(int status) override {
    journal_.record(Source::processExit, "exit " + std::to_string(status));
    status_ = status;
  }
  // The status of the exit asked for, nothing when the process was never ended.
  std::optional<int> status() const { return status_; }

 private:
  Journal& journal_;
  std::optional<int> status_;
};

}  // namespace tarnel::support
