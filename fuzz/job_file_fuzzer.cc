// launchctl's job file reader: the input is a job's property list file, XML or binary, read by
// path as `launchctl load` reads it (a memory file, private to its owner, seen through /proc so
// that nothing is left on disk). A job that is read has a label fit for the job list, something
// to run, and no NUL in any text that reaches an argument vector, the environment or a path.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/finding.h"
#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/job_file_reader.h"

namespace {

using namespace tarnel;
using tarnel::fuzz::expect;
using tarnel::linux_platform::UniqueFd;

UniqueFd privateFileHolding(std::span<const std::uint8_t> bytes) {
  UniqueFd file(::memfd_create("job-file", MFD_CLOEXEC));
  expect(file.valid() && ::fchmod(file.get(), 0600) == 0, "cannot make the memory file");
  while (!bytes.empty()) {
    const auto written = ::write(file.get(), bytes.data(), bytes.size());
    expect(written > 0, "cannot write the memory file");
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return file;
}

bool holdsNul(const std::string& text) { return text.find('\0') != std::string::npos; }

bool isFitPath(const std::optional<std::string>& path) {
  return !path || (path->starts_with('/') && !holdsNul(*path));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > launchctl::kMaximumJobFileSize) return -1;
  const auto file = privateFileHolding({data, size});
  const auto job = launchctl::readJobFile("/proc/self/fd/" + std::to_string(file.get()));
  if (!job) return 0;
  expect(!job->label.empty() && std::ranges::none_of(job->label,
                                                     [](char c) {
                                                       const auto byte =
                                                           static_cast<unsigned char>(c);
                                                       return byte < 0x20 || byte == 0x7f;
                                                     }),
         "a job's label is empty or holds a control character");
  expect(!job->program.empty() && !holdsNul(job->program) && !job->arguments.empty() &&
             std::ranges::none_of(job->arguments, holdsNul),
         "a job has nothing to run, or a NUL in what it runs");
  expect(isFitPath(job->standardOutPath) && isFitPath(job->standardErrorPath) &&
             isFitPath(job->workingDirectory),
         "a job's path is relative or holds a NUL");
  for (const auto& [name, value] : job->environmentVariables) {
    expect(
        !name.empty() && name.find('=') == std::string::npos && !holdsNul(name) && !holdsNul(value),
        "a job's environment variable is malformed");
  }
  return 0;
}
