// One ordered record of every call that the fake platform's services receive, so that a test can
// read back the exact sequence of programs started, files touched, log lines, pauses and exits.
#pragma once

#include <string>
#include <vector>

namespace tarnel::testing {

class Journal {
 public:
  void record(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& entries() const { return entries_; }
  void clear() { entries_.clear(); }

 private:
  std::vector<std::string> entries_;
};

}  // namespace tarnel::testing
