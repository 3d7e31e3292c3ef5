#include "tools/launchctl/job_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/number_parsing.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::parseNumber;
using linux_platform::UniqueFd;

// First line of the registry file; a file without it was not written by this tool.
constexpr std::string_view kHeader = "launchctl-jobs 2";
// Far more than any set of jobs needs; a larger file is taken for damaged.
constexpr std::size_t kMaximumRegistrySize = 16 * 1024 * 1024;

std::string lockPath(const std::string& folder) { return folder + "/lock"; }
std::string registryPath(const std::string& folder) { return folder + "/jobs"; }
std::string newRegistryPath(const std::string& folder) { return folder + "/jobs.new"; }

// Labels and paths are arbitrary bytes; hexadecimal keeps each record to one line of words.
std::string toHex(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xf];
  }
  return hex;
}

std::optional<std::string> fromHex(std::string_view hex) {
  if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
  std::string text;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    const auto value = parseNumber<unsigned char>(hex.substr(at, 2), 16);
    if (!value) return std::nullopt;
    text += static_cast<char>(*value);
  }
  return text;
}

std::vector<std::string_view> splitWords(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const auto end = line.find(' ');
    words.push_back(line.substr(0, end));
    line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
  }
  return words;
}

// A process as a record holds it: its id and start time, both 0 for none.
std::optional<std::optional<ProcessIdentity>> decodeProcess(std::string_view pidWord,
                                                            std::string_view startWord) {
  const auto pid = parseNumber<pid_t>(pidWord);
  const auto startTime = parseNumber<std::uint64_t>(startWord);
  if (!pid || !startTime || *pid < 0) return std::nullopt;
  if (*pid == 0) return std::optional<ProcessIdentity>();
  return ProcessIdentity{.pid = *pid, .startTime = *startTime};
}

std::string encodeProcess(const std::optional<ProcessIdentity>& process) {
  const ProcessIdentity identity = process.value_or(ProcessIdentity{});
  return std::to_string(identity.pid) + ' ' + std::to_string(identity.startTime);
}

// One record: the supervisor, the run (each as process id and start time), last exit status,
// label, path.
std::optional<JobRecord> decodeRecord(std::string_view line) {
  const auto words = splitWords(line);
  if (words.size() != 7) return std::nullopt;
  const auto supervisor = decodeProcess(words[0], words[1]);
  const auto process = decodeProcess(words[2], words[3]);
  const auto status = parseNumber<int>(words[4]);
  auto label = fromHex(words[5]);
  auto path = fromHex(words[6]);
  if (!supervisor || !process || !status || !label || !path) return std::nullopt;
  return JobRecord{.label = std::move(*label),
                   .path = std::move(*path),
                   .process = *process,
                   .supervisor = *supervisor,
                   .lastExitStatus = *status};
}

std::unexpected<LaunchctlError> unusable(const std::string& folder, LaunchctlReason reason) {
  return std::unexpected(LaunchctlError{.kind = LaunchctlError::Kind::stateFolderUnusable,
                                        .subject = folder,
                                        .reason = std::move(reason)});
}

std::unexpected<LaunchctlError> unusable(const std::string& folder, int error) {
  return unusable(folder, {.kind = LaunchctlReason::Kind::systemError, .systemError = error});
}

std::unexpected<LaunchctlError> damaged(const std::string& file) {
  return std::unexpected(
      LaunchctlError{.kind = LaunchctlError::Kind::stateFileDamaged, .subject = file});
}

std::expected<std::string, LaunchctlError> readRegistryText(const std::string& folder) {
  const std::string path = registryPath(folder);
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd && errno == ENOENT) return std::string();
  if (!fd) return unusable(folder, errno);
  auto text = linux_platform::readAll(fd.get(), kMaximumRegistrySize);
  if (!text && text.error().kind == linux_platform::ReadAllError::Kind::tooLarge) {
    return damaged(path);
  }
  if (!text) {
    return unusable(folder, text.error().systemError);
  }
  return std::move(*text);
}

}  // namespace

std::string encodeRegistry(const std::vector<JobRecord>& records) {
  std::string text(kHeader);
  text += '\n';
  for (const auto& record : records) {
    text += encodeProcess(record.supervisor) + ' ' + encodeProcess(record.process) + ' ' +
            std::to_string(record.lastExitStatus) + ' ' + toHex(record.label) + ' ' +
            toHex(record.path) + '\n';
  }
  return text;
}

std::optional<std::vector<JobRecord>> decodeRegistry(std::string_view text) {
  std::vector<JobRecord> records;
  if (text.empty()) return records;
  if (!text.starts_with(kHeader) || !text.ends_with('\n')) return std::nullopt;
  text.remove_prefix(kHeader.size());
  if (!text.starts_with('\n')) return std::nullopt;
  text.remove_prefix(1);
  while (!text.empty()) {
    const auto end = text.find('\n');
    auto record = decodeRecord(text.substr(0, end));
    if (!record) return std::nullopt;
    records.push_back(std::move(*record));
    text.remove_prefix(end + 1);
  }
  std::sort(records.begin(), records.end(),
            [](const JobRecord& a, const JobRecord& b) { return a.label < b.label; });
  if (std::adjacent_find(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.label == b.label;
      }) != records.end()) {
    return std::nullopt;
  }
  return records;
}

std::expected<JobRegistry, LaunchctlError> JobRegistry::open(const std::string& folder,
                                                             LockMode mode) {
  UniqueFd lock(::open(lockPath(folder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!lock) return unusable(folder, errno);
  const int operation = mode == LockMode::exclusive ? LOCK_EX : LOCK_SH;
  while (::flock(lock.get(), operation) != 0) {
    if (errno != EINTR) {
      return unusable(folder, errno);
    }
  }
  const auto text = readRegistryText(folder);
  if (!text) return std::unexpected(text.error());
  auto records = decodeRegistry(*text);
  if (!records) return damaged(registryPath(folder));
  return JobRegistry(folder, std::move(lock), std::move(*records));
}

JobRecord* JobRegistry::find(std::string_view label) {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [&](const JobRecord& record) { return record.label == label; });
  return found == records_.end() ? nullptr : &*found;
}

void JobRegistry::add(JobRecord record) {
  const auto position = std::lower_bound(
      records_.begin(), records_.end(), record.label,
      [](const JobRecord& existing, const std::string& label) { return existing.label < label; });
  records_.insert(position, std::move(record));
}

void JobRegistry::erase(std::string_view label) {
  std::erase_if(records_, [&](const JobRecord& record) { return record.label == label; });
}

std::expected<void, LaunchctlError> JobRegistry::save() const {
  const std::string newPath = newRegistryPath(folder_);
  const auto failed = [&](int error) {
    ::unlink(newPath.c_str());
    return unusable(folder_, error);
  };
  {
    const UniqueFd fd(
        ::open(newPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) return failed(errno);
    const std::string text = encodeRegistry(records_);
    if (const auto written = linux_platform::writeAll(fd.get(), text); !written) {
      return failed(written.error());
    }
    if (::fsync(fd.get()) != 0) return failed(errno);
  }
  if (::rename(newPath.c_str(), registryPath(folder_).c_str()) != 0) {
    return failed(errno);
  }
  return {};
}

}  // namespace tarnel::launchctl
