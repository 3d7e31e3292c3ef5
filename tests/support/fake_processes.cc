#include "tests/support/fake_processes.h"

namespace tarnel::support {

namespace {

class ScriptedPipe : public OutputPipe {
 public:
  explicit ScriptedPipe(std::vector<std::string> chunks) : chunks_(chunks.begin(), chunks.end()) {}
  Bytes read(std::size_t maximum) override {
    if (chunks_.empty()) return {};
    auto& chunk = chunks_.front();
    const auto count = std::min(maximum, chunk.size());
    Bytes bytes(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
    chunk.erase(0, count);
    if (chunk.empty()) chunks_.pop_front();
    return bytes;
  }

 private:
  std::deque<std::string> chunks_;
};

template <class Queue>
auto takeScripted(Queue& queues, const std::vector<std::string>& commandLine)
    -> std::optional<typename Queue::mapped_type::value_type> {
  auto found = queues.find(commandLine);
  if (found == queues.end() || found->second.empty()) return std::nullopt;
  auto answer = std::move(found->second.front());
  found->second.pop_front();
  return answer;
}

}  // namespace

std::string journalLine(const char* how, const std::vector<std::string>& commandLine) {
  std::string line = how;
  for (const auto& word : commandLine) line += " " + word;
  return line;
}

void FakeProcesses::scriptRun(const std::vector<std::string>& commandLine,
                              std::optional<int> status) {
  runs_[commandLine].push_back(status);
}

void FakeProcesses::scriptCapture(const std::vector<std::string>& commandLine,
                                  std::optional<std::vector<std::string>> chunks) {
  captures_[commandLine].push_back(std::move(chunks));
}

std::vector<std::string> FakeProcesses::record(const char* how, const std::string& program,
                                               const std::vector<std::string>& arguments) {
  std::vector<std::string> commandLine{program};
  commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
  journal_.record(Source::processes, journalLine(how, commandLine));
  started_.push_back(commandLine);
  return commandLine;
}

std::optional<int> FakeProcesses::run(const std::string& program,
                                      const std::vector<std::string>& arguments) {
  const auto commandLine = record("run", program, arguments);
  return takeScripted(runs_, commandLine).value_or(0);
}

std::unique_ptr<OutputPipe> FakeProcesses::runCapturing(const std::string& program,
                                                        const std::vector<std::string>& arguments) {
  const auto commandLine = record("capture", program, arguments);
  auto chunks = takeScripted(captures_, commandLine).value_or(std::vector<std::string>{});
  if (!chunks) return nullptr;
  return std::make_unique<ScriptedPipe>(std::move(*chunks));
}

}  // namespace tarnel::support
