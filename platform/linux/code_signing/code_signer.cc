#include "platform/linux/code_signing/code_signer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/code_signature.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/code_signing/info_plist.h"
#include "platform/linux/posix/file_reading.h"
#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

using Error = SigningError::Kind;

std::unexpected<SigningError> failed(Error kind, std::string subject = {}) {
  return std::unexpected(SigningError{kind, std::move(subject), 0, std::nullopt});
}

// The failure of the system call that just set errno.
std::unexpected<SigningError> systemFailed(Error kind, std::string subject = {}) {
  return std::unexpected(SigningError{kind, std::move(subject), errno, std::nullopt});
}

// The failure of writeAll, with the error number of its failed write.
std::unexpected<SigningError> unwritten(int error) {
  return std::unexpected(SigningError{Error::unwritable, {}, error, std::nullopt});
}

// The new file beside the old one until it is renamed over it; removed if it never is.
class PendingFile {
 public:
  static std::expected<PendingFile, SigningError> createBeside(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".signing-XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) return systemFailed(Error::uncreatableBeside, path);
    return PendingFile(std::move(fd), std::move(temporary));
  }
  PendingFile(PendingFile&& other) noexcept
      : fd_(std::move(other.fd_)), path_(std::exchange(other.path_, {})) {}
  PendingFile& operator=(PendingFile&&) = delete;
  ~PendingFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  int fd() const { return fd_.get(); }

  std::expected<void, SigningError> replace(const std::string& target) {
    if (::fsync(fd_.get()) != 0) return systemFailed(Error::unwritable);
    if (::rename(path_.c_str(), target.c_str()) != 0)
      return systemFailed(Error::notReplaced, target);
    path_.clear();
    return {};
  }

 private:
  PendingFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;
  std::string path_;
};

// How many bytes of the file are the executable: its image, without a signature behind it.
// Nothing when anything else lies behind the image: that is refused rather than dropped or signed
// unknowingly.
std::optional<std::uint64_t> codeLength(int fd, std::uint64_t fileSize, const ElfImage& image) {
  if (image.extent == fileSize) return fileSize;
  const auto trailer = readSignatureTrailer(fd, fileSize);
  if (trailer && *trailer && (*trailer)->codeLength == image.extent) return image.extent;
  return std::nullopt;
}

std::expected<void, SigningError> copyRange(int from, int to, std::uint64_t length) {
  constexpr std::size_t kChunk = 64 * 1024;
  for (std::uint64_t done = 0; done < length;) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
    const auto bytes = readRange(from, done, chunk);
    if (!bytes) return failed(Error::unreadableFileToSign);
    if (const auto written = writeAll(to, *bytes); !written) return unwritten(written.error());
    done += chunk;
  }
  return {};
}

}  // namespace

std::expected<void, SigningError> signFile(const SigningIdentity& identity,
                                           const SigningRequest& request) {
  if (request.identifier.empty() || request.identifier.size() > kMaxIdentifierLength ||
      request.identifier.find('\0') != std::string::npos) {
    return failed(Error::invalidIdentifier);
  }
  UniqueFd file(::open(request.file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return systemFailed(Error::unopenable, request.file);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return systemFailed(Error::unstatable, request.file);
  if (!S_ISREG(status.st_mode)) return failed(Error::notRegularFile, request.file);
  const auto fileSize = static_cast<std::uint64_t>(status.st_size);
  const auto unreadableElf = [&](const ElfError& elf) {
    return std::unexpected(SigningError{Error::unreadableElf, request.file, 0, elf});
  };

  const auto image = readElfImage(file.get(), fileSize);
  if (!image) return unreadableElf(image.error());
  const auto length = codeLength(file.get(), fileSize, *image);
  if (!length) return failed(Error::dataBehindImage, request.file);

  CodeDirectory directory{.identifier = request.identifier, .codeLength = *length};
  const auto section = readElfSection(file.get(), *image, kInfoPlistSection, kMaxInfoPlistLength);
  if (!section) return unreadableElf(section.error());
  if (*section && request.infoPlist && **section != *request.infoPlist) {
    return failed(Error::infoPlistDiffers);
  }
  directory.infoPlist = *section ? *section : request.infoPlist;
  if (directory.infoPlist && !parseInfoDictionary(*directory.infoPlist)) {
    return failed(Error::infoPlistNotDictionary);
  }
  const auto hash = hashCode(file.get(), *length);
  if (!hash) return failed(Error::unreadableCode, request.file);
  directory.codeHash = *hash;

  const auto blob = signData(identity, directory.encode());
  if (!blob) return std::unexpected(blob.error());
  const SignatureTrailer trailer{.codeLength = *length, .blobLength = blob->size()};

  auto pending = PendingFile::createBeside(request.file);
  if (!pending) return std::unexpected(pending.error());
  if (auto copied = copyRange(file.get(), pending->fd(), *length); !copied) return copied;
  if (const auto written = writeAll(pending->fd(), *blob); !written) {
    return unwritten(written.error());
  }
  if (const auto written = writeAll(pending->fd(), trailer.encode()); !written) {
    return unwritten(written.error());
  }
  // The owner first: changing it clears set-user-ID bits that the mode then restores.
  if (::fchown(pending->fd(), status.st_uid, status.st_gid) != 0) {
    return systemFailed(Error::ownerNotKept, request.file);
  }
  if (::fchmod(pending->fd(), status.st_mode & 07777) != 0) {
    return systemFailed(Error::modeNotKept, request.file);
  }
  return pending->replace(request.file);
}

}  // namespace tarnel::linux_platform
