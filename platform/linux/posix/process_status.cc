#include "platform/linux/posix/process_status.h"

#include <fcntl.h>

#include <vector>

#include "platform/linux/posix/file_reading.h"
#include "platform/linux/posix/number_parsing.h"

namespace tarnel::linux_platform {

namespace {

// These files are a few hundred bytes; the bound keeps an odd kernel from making us hold more.
constexpr std::size_t kMaxProcFileLength = 64 * 1024;

constexpr std::size_t fieldIndex(std::size_t field) { return field - 3; }

// The blank-separated fields of a stat line that follow the command name, which may itself hold
// blanks and parentheses; the first of them is field 3.
std::vector<std::string_view> fieldsAfterName(std::string_view stat) {
  std::vector<std::string_view> fields;
  const auto nameEnd = stat.rfind(')');
  if (nameEnd == std::string_view::npos) return fields;
  std::string_view rest = stat.substr(nameEnd + 1);
  for (;;) {
    const auto start = rest.find_first_not_of(" \n");
    if (start == std::string_view::npos) return fields;
    rest.remove_prefix(start);
    const auto end = std::min(rest.find_first_of(" \n"), rest.size());
    fields.push_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
}

}  // namespace

std::optional<ProcessStat> readProcessStat(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  const auto text = readSmallFile("/proc/" + std::to_string(pid) + "/stat", kMaxProcFileLength);
  if (!text) return std::nullopt;
  const auto fields = fieldsAfterName(*text);
  if (fields.size() <= fieldIndex(22) || fields[fieldIndex(3)].size() != 1) return std::nullopt;
  const auto session = parseNumber<std::int64_t>(fields[fieldIndex(6)]);
  const auto startTime = parseNumber<std::uint64_t>(fields[fieldIndex(22)]);
  if (!session || !startTime) return std::nullopt;
  return ProcessStat{
      .state = fields[fieldIndex(3)].front(), .session = *session, .startTime = *startTime};
}

std::optional<std::uint64_t> processStartTime(pid_t pid) {
  const auto stat = readProcessStat(pid);
  if (!stat || stat->hasExited()) return std::nullopt;
  return stat->startTime;
}

std::optional<ProcessStatus> ProcessStatus::read(const std::string& path) {
  return readAt(AT_FDCWD, path);
}

std::optional<ProcessStatus> ProcessStatus::readFrom(int fd) {
  auto text = readWholeFile(fd, kMaxProcFileLength);
  if (!text) return std::nullopt;
  return ProcessStatus(std::move(*text));
}

std::optional<ProcessStatus> ProcessStatus::readAt(int directory, const std::string& name) {
  auto text = readSmallFileAt(directory, name, kMaxProcFileLength);
  if (!text) return std::nullopt;
  return ProcessStatus(std::move(*text));
}

std::optional<std::string> ProcessStatus::field(std::string_view key) const {
  std::string_view rest = text_;
  while (!rest.empty()) {
    const auto end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == ':') {
      const auto value = line.find_first_not_of(" \t", key.size() + 1);
      return value == std::string_view::npos ? std::string() : std::string(line.substr(value));
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ProcessStatus::firstNumber(std::string_view key) const {
  const auto value = field(key);
  if (!value) return std::nullopt;
  const std::string_view text = *value;
  return parseNumber<std::uint32_t>(text.substr(0, text.find_first_of(" \t")));
}

std::optional<ProcessStatus> readProcessStatus(pid_t pid) {
  return ProcessStatus::read("/proc/" + std::to_string(pid) + "/status");
}

}  // namespace tarnel::linux_platform
