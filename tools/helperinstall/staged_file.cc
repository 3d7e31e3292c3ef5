#include "tools/helperinstall/staged_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/linux/posix/full_io.h"

namespace tarnel::helperinstall {

namespace {

std::string describe(std::string_view what, int error = errno) {
  return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

std::expected<StagedFile, std::string> StagedFile::create(const std::string& folder, mode_t mode) {
  std::string path = folder + "/.helperinstall.XXXXXX";
  linux_platform::UniqueFd fd(::mkostemp(path.data(), O_CLOEXEC));
  if (!fd) return std::unexpected(describe("cannot make a file in " + folder));
  StagedFile staged(std::move(path), std::move(fd));
  if (::fchown(staged.fd(), 0, 0) != 0 || ::fchmod(staged.fd(), mode) != 0) {
    return std::unexpected(describe(staged.path_));
  }
  return staged;
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::move(other.fd_)),
      placed_(std::exchange(other.placed_, true)) {}

StagedFile::~StagedFile() {
  if (!placed_) ::unlink(path_.c_str());
}

std::expected<void, std::string> StagedFile::write(std::string_view bytes) {
  if (const auto written = linux_platform::writeAll(fd_.get(), bytes); !written) {
    return std::unexpected(describe(path_, written.error()));
  }
  return {};
}

std::expected<void, std::string> StagedFile::copyFrom(int source, std::size_t limit) {
  char buffer[65536];
  std::size_t copied = 0;
  for (;;) {
    const auto count = linux_platform::readSome(source, buffer, sizeof buffer);
    if (!count) return std::unexpected(describe("read", count.error()));
    if (*count == 0) return {};
    copied += *count;
    if (copied > limit) {
      return std::unexpected("larger than " + std::to_string(limit) + " bytes");
    }
    if (auto written = write(std::string_view(buffer, *count)); !written) {
      return written;
    }
  }
}

std::expected<void, std::string> StagedFile::placeAt(const std::string& path) {
  if (::fsync(fd_.get()) != 0 || ::rename(path_.c_str(), path.c_str()) != 0) {
    return std::unexpected(describe(path));
  }
  placed_ = true;
  return {};
}

}  // namespace tarnel::helperinstall
