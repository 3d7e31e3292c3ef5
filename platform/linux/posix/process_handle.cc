#include "platform/linux/posix/process_handle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/process_status.h"

namespace tarnel::linux_platform {

namespace {

// More threads than any client of ours runs; past it the answer is "cannot tell".
constexpr std::size_t kMaxThreads = 16 * 1024;

struct CloseDirectory {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

std::optional<ProcessHandle> ProcessHandle::open(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  return adopt(openPidfd(pid), pid);
}

std::optional<ProcessHandle> ProcessHandle::adopt(UniqueFd pidfd, pid_t pid) {
  if (pid <= 0 || !pidfd) return std::nullopt;
  UniqueFd directory(
      ::open(("/proc/" + std::to_string(pid)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Opened while the pidfd is held: if the process is still running now, the folder is its own.
  if (!directory || !pidfdProcessAlive(pidfd.get())) return std::nullopt;
  ProcessHandle handle(pid, std::move(pidfd), std::move(directory));
  if (!handle.running()) return std::nullopt;
  return handle;
}

bool ProcessHandle::running() const {
  if (!pidfdProcessAlive(pidfd_.get())) return false;
  const auto stat = readProcessStat(pid_);
  return stat && !stat->hasExited();
}

std::optional<ProcessImage> ProcessHandle::captureImage() const {
  UniqueFd memory(::openat(directory_.get(), "mem", O_RDONLY | O_CLOEXEC));
  const auto stat = readProcessStat(pid_);
  if (!memory || !stat || stat->startCode == 0 || !pidfdProcessAlive(pidfd_.get())) {
    return std::nullopt;
  }
  ProcessImage image(std::move(memory), stat->startCode);
  if (!image.unchanged()) return std::nullopt;
  return image;
}

bool ProcessImage::unchanged() const {
  std::uint8_t byte = 0;
  ssize_t got = 0;
  do {
    got = ::pread(memory_.get(), &byte, 1, static_cast<off_t>(address_));
  } while (got < 0 && errno == EINTR);
  return got == 1;
}

std::optional<bool> ProcessHandle::openToItsUser() const {
  struct stat status {};
  if (::fstatat(directory_.get(), "status", &status, 0) != 0) return std::nullopt;
  return status.st_uid != 0;
}

std::optional<bool> ProcessHandle::traced() const {
  const int tasksFd = ::openat(directory_.get(), "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (tasksFd < 0) return std::nullopt;
  const std::unique_ptr<DIR, CloseDirectory> tasks(::fdopendir(tasksFd));
  if (!tasks) {
    ::close(tasksFd);
    return std::nullopt;
  }
  std::size_t threads = 0;
  while (const dirent* entry = ::readdir(tasks.get())) {
    if (entry->d_name[0] == '.') continue;
    if (++threads > kMaxThreads) return std::nullopt;
    const auto status = ProcessStatus::readAt(tasksFd, std::string(entry->d_name) + "/status");
    // A thread that ended while the list was read has no tracer any more.
    if (!status) {
      if (::faccessat(tasksFd, entry->d_name, F_OK, 0) != 0) continue;
      return std::nullopt;
    }
    const auto tracer = status->field("TracerPid");
    if (!tracer) return std::nullopt;
    if (*tracer != "0") return true;
  }
  return false;
}

}  // namespace tarnel::linux_platform
