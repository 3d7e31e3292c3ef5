#include "tools/helperinstall/staged_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/linux/posix/full_io.h"

namespace tarnel::helperinstall {

namespace {

std::unexpected<HelperinstallError> failed(HelperinstallError::Kind kind, std::string subject,
                                           int error = errno) {
  return std::unexpected(
      HelperinstallError{.kind = kind, .subject = std::move(subject), .systemError = error});
}

}  // namespace

std::expected<StagedFile, HelperinstallError> StagedFile::create(const std::string& folder,
                                                                 mode_t mode) {
  std::string path = folder + "/.helperinstall.XXXXXX";
  linux_platform::UniqueFd fd(::mkostemp(path.data(), O_CLOEXEC));
  if (!fd) return failed(HelperinstallError::Kind::cannotMakeFileIn, folder);
  StagedFile staged(std::move(path), std::move(fd));
  if (::fchown(staged.fd(), 0, 0) != 0 || ::fchmod(staged.fd(), mode) != 0) {
    return failed(HelperinstallError::Kind::cannotUse, staged.path_);
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

std::expected<void, HelperinstallError> StagedFile::write(std::string_view bytes) {
  if (const auto written = linux_platform::writeAll(fd_.get(), bytes); !written) {
    return failed(HelperinstallError::Kind::cannotUse, path_, written.error());
  }
  return {};
}

std::expected<void, HelperinstallError> StagedFile::copyFrom(int source, std::size_t limit) {
  char buffer[65536];
  std::size_t copied = 0;
  for (;;) {
    const auto count = linux_platform::readSome(source, buffer, sizeof buffer);
    if (!count) return failed(HelperinstallError::Kind::cannotRead, {}, count.error());
    if (*count == 0) return {};
    copied += *count;
    if (copied > limit) {
      return std::unexpected(HelperinstallError{.kind = HelperinstallError::Kind::largerThan,
                                                .number = static_cast<std::int64_t>(limit)});
    }
    if (auto written = write(std::string_view(buffer, *count)); !written) {
      return written;
    }
  }
}

std::expected<void, HelperinstallError> StagedFile::placeAt(const std::string& path) {
  if (::fsync(fd_.get()) != 0 || ::rename(path_.c_str(), path.c_str()) != 0) {
    return failed(HelperinstallError::Kind::cannotUse, path);
  }
  placed_ = true;
  return {};
}

}  // namespace tarnel::helperinstall
