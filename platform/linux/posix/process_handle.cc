#include "platform/linux/posix/process_handle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/linux/posix/file_reading.h"
#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/process_status.h"

namespace tarnel::linux_platform {

namespace {

// An address above every address space a process can have (47 or 56 bits on x86-64, at most 52
// on arm64), yet a positive file offset, so that one pread reaches the kernel's check.
constexpr std::uint64_t kUnmappableAddress = 0x7fff'ffff'ffff'f000;

// An auxiliary vector is a few dozen pairs of words; the kernel keeps at most a page of them.
constexpr std::size_t kMaxAuxiliaryVector = 4096;
struct AuxiliaryEntry {
  unsigned long type;
  unsigned long value;
};

// More threads than any client of ours runs; past it the answer is "cannot tell".
constexpr std::size_t kMaxThreads = 16 * 1024;
// An entry of a thread's folder: its header and a name of up to twenty digits, aligned.
constexpr std::size_t kRoomForAnEntry = 64;

}  // namespace

std::optional<ProcessHandle> ProcessHandle::open(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  return adopt(openPidfd(pid), pid);
}

std::optional<ProcessHandle> ProcessHandle::adopt(UniqueFd pidfd, pid_t pid) {
  if (pid <= 0 || !pidfd) return std::nullopt;
  UniqueFd directory(
      ::open(("/proc/" + std::to_string(pid)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory) return std::nullopt;
  UniqueFd tasks(::openat(directory.get(), "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueFd status(::openat(directory.get(), "status", O_RDONLY | O_CLOEXEC));
  // Opened while the pidfd is held: if the process is still running now, they are its own.
  if (!tasks || !status || !pidfdProcessAlive(pidfd.get())) return std::nullopt;
  ProcessHandle handle(pid, std::move(pidfd), std::move(directory), std::move(tasks),
                       std::move(status));
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
  if (!memory || !pidfdProcessAlive(pidfd_.get())) return std::nullopt;
  ProcessImage image(std::move(memory));
  if (!image.unchanged()) return std::nullopt;
  return image;
}

bool ProcessImage::unchanged() const {
  std::uint8_t byte = 0;
  const auto got = readSomeAt(memory_.get(), &byte, 1, kUnmappableAddress);
  // The kernel answers EIO for an address that the image does not map, and the end of the file
  // once the image has no users left: replaced by an exec, or ended.
  return !got && got.error() == EIO;
}

std::optional<bool> ProcessHandle::startedSecurely() const {
  const auto vector = readSmallFileAt(directory_.get(), "auxv", kMaxAuxiliaryVector);
  if (!vector || vector->size() % sizeof(AuxiliaryEntry) != 0) return std::nullopt;
  for (std::size_t at = 0; at < vector->size(); at += sizeof(AuxiliaryEntry)) {
    AuxiliaryEntry entry{};
    std::memcpy(&entry, vector->data() + at, sizeof entry);
    if (entry.type == AT_SECURE) return entry.value != 0;
    if (entry.type == AT_NULL) break;
  }
  return std::nullopt;
}

std::optional<bool> ProcessHandle::sharesOurNamespaces() const {
  for (const char* name : {"ns/user", "ns/pid"}) {
    struct stat theirs {};
    struct stat ours {};
    if (::fstatat(directory_.get(), name, &theirs, 0) != 0 ||
        ::stat((std::string("/proc/self/") + name).c_str(), &ours) != 0) {
      return std::nullopt;
    }
    if (theirs.st_dev != ours.st_dev || theirs.st_ino != ours.st_ino) return false;
  }
  return true;
}

std::optional<bool> ProcessHandle::filtered() const {
  const auto status = ProcessStatus::readFrom(status_.get());
  const auto mode = status ? status->field("Seccomp") : std::nullopt;
  if (!mode) return std::nullopt;
  return *mode != "0";
}

std::optional<bool> ProcessHandle::openToItsUser() const {
  struct stat status {};
  if (::fstatat(directory_.get(), "status", &status, 0) != 0) return std::nullopt;
  return status.st_uid != 0;
}

std::optional<bool> ProcessHandle::traced() const {
  if (::lseek(tasks_.get(), 0, SEEK_SET) != 0) return std::nullopt;
  const std::string mainThread = std::to_string(pid_);
  std::size_t threads = 0;
  alignas(dirent64) char entries[4096];
  for (;;) {
    const auto got = ::getdents64(tasks_.get(), entries, sizeof entries);
    if (got < 0) return std::nullopt;
    if (got == 0) return false;
    // The kernel stops a listing only when the next entry does not fit: with room left for one,
    // this was the last part, and asking again would only say so.
    const bool last = static_cast<std::size_t>(got) + kRoomForAnEntry <= sizeof entries;
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      const std::string name = entry->d_name;
      if (name.starts_with('.')) continue;
      if (++threads > kMaxThreads) return std::nullopt;
      const auto status = name == mainThread
                              ? ProcessStatus::readFrom(status_.get())
                              : ProcessStatus::readAt(tasks_.get(), name + "/status");
      // A thread that ended while the list was read has no tracer any more.
      if (!status) {
        if (name != mainThread && ::faccessat(tasks_.get(), name.c_str(), F_OK, 0) != 0) continue;
        return std::nullopt;
      }
      const auto tracer = status->field("TracerPid");
      if (!tracer) return std::nullopt;
      if (*tracer != "0") return true;
    }
    if (last) return false;
  }
}

}  // namespace tarnel::linux_platform
