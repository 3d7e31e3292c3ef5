#include "tools/launchctl/status_description.h"

#include <signal.h>

#include <array>
#include <cstring>

#include "platform/linux/posix/number_parsing.h"

namespace tarnel::launchctl {

namespace {

// Exit statuses 64 to 78 keep the meanings that programs following the conventional exit codes
// give them; a job that exits 78 says that it is misconfigured.
constexpr int kFirstConventionalStatus = 64;
constexpr std::array<std::string_view, 15> kConventionalStatuses{
    "Command line usage error",  "Data format error",  "Cannot open input",
    "Addressee unknown",         "Host name unknown",  "Service unavailable",
    "Internal software error",   "System error",       "Critical operating system file missing",
    "Cannot create output file", "Input/output error", "Temporary failure; try again",
    "Remote error in protocol",  "Permission denied",  "Configuration error",
};

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string describeExitStatus(int status) {
  if (status >= kFirstConventionalStatus &&
      status < kFirstConventionalStatus + static_cast<int>(kConventionalStatuses.size())) {
    return std::string(
        kConventionalStatuses[static_cast<std::size_t>(status - kFirstConventionalStatus)]);
  }
  return std::strerror(status);
}

// `status` is minus the number of the signal that ended the job.
std::string describeSignal(int status) {
  if (status <= -NSIG) return "Unknown status";
  const int signal = -status;
  const std::string text = "Terminated by signal " + std::to_string(signal);
  const char* abbreviation = ::sigabbrev_np(signal);
  const char* description = ::sigdescr_np(signal);
  if (abbreviation != nullptr && description != nullptr) {
    return text + " (SIG" + abbreviation + ": " + description + ")";
  }
  if (signal >= SIGRTMIN && signal <= SIGRTMAX) {
    return text + " (SIGRTMIN+" + std::to_string(signal - SIGRTMIN) + ")";
  }
  return text;
}

}  // namespace

std::optional<std::string> describeStatusCode(std::string_view text) {
  const std::string_view code = trimmed(text);
  const auto parsed = linux_platform::parseNumber<int>(code);
  if (!parsed) return std::nullopt;
  const int status = *parsed;
  std::string description = status < 0 ? describeSignal(status) : describeExitStatus(status);
  return std::to_string(status) + ": " + description;
}

}  // namespace tarnel::launchctl
