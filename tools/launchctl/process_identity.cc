#include "tools/launchctl/process_identity.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace tarnel::launchctl {

namespace {

struct ProcessStat {
  char state = '?';
  std::uint64_t startTime = 0;
};

std::optional<ProcessStat> readProcessStat(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const linux_platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string text;
  char buffer[1024];
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return std::nullopt;
    if (count == 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  // The command name (field 2) may hold blanks and parentheses; the fields after it start at the
  // last closing parenthesis.
  const auto nameEnd = text.rfind(')');
  if (nameEnd == std::string::npos) return std::nullopt;
  std::vector<std::string_view> fields;
  std::string_view rest = std::string_view(text).substr(nameEnd + 1);
  while (!rest.empty()) {
    const auto start = rest.find_first_not_of(" \n");
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const auto end = rest.find_first_of(" \n");
    fields.push_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  // fields[0] is field 3 (state), so field 22 (start time) is fields[19].
  if (fields.size() < 20 || fields[0].size() != 1) return std::nullopt;
  ProcessStat stat{.state = fields[0].front()};
  const auto startField = fields[19];
  const auto [end, error] =
      std::from_chars(startField.data(), startField.data() + startField.size(), stat.startTime);
  if (error != std::errc() || end != startField.data() + startField.size()) return std::nullopt;
  return stat;
}

}  // namespace

std::optional<ProcessIdentity> identifyProcess(pid_t pid) {
  const auto stat = readProcessStat(pid);
  if (!stat) return std::nullopt;
  return ProcessIdentity{.pid = pid, .startTime = stat->startTime};
}

bool isPresent(const ProcessIdentity& process) {
  const auto stat = readProcessStat(process.pid);
  return stat && stat->startTime == process.startTime;
}

bool isRunning(const ProcessIdentity& process) {
  const auto stat = readProcessStat(process.pid);
  return stat && stat->startTime == process.startTime && stat->state != 'Z' && stat->state != 'X';
}

}  // namespace tarnel::launchctl
