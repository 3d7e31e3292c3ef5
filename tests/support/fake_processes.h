// Processes that record every start and answer as the test scripts them.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakeProcesses : public Processes {
 public:
  explicit FakeProcesses(Journal& journal) : journal_(journal) {}

  // The next run of exactly this program and argument list exits with `status`, or cannot start
  // when `status` is empty. Unscripted runs exit with 0.
  void scriptRun(const std::vector<std::string>& commandLine, std::optional<int> status);
  // The next capturing run of exactly this command line prints `chunks` (each one read), or
  // cannot start when empty. Unscripted capturing runs print nothing.
  void scriptCapture(const std::vector<std::string>& commandLine,
                     std::optional<std::vector<std::string>> chunks);

  // Every command line started, run and capturing alike, program first.
  const std::vector<std::vector<std::string>>& started() const { return started_; }

  std::optional<int> run(const std::string& program,
                         const std::vector<std::string>& arguments) override;
  std::unique_ptr<OutputPipe> runCapturing(const std::string& program,
                                           const std::vector<std::string>& arguments) override;

 private:
  std::vector<std::string> record(const char* how, const std::string& program,
                                  const std::vector<std::string>& arguments);

  Journal& journal_;
  std::vector<std::vector<std::string>> started_;
  std::map<std::vector<std::string>, std::deque<std::optional<int>>> runs_;
  std::map<std::vector<std::string>, std::deque<std::optional<std::vector<std::string>>>> captures_;
};

// "run" or "capture", then the program and each argument after one blank, as the journal reads.
std::string journalLine(const char* how, const std::vector<std::string>& commandLine);

}  // namespace tarnel::support
