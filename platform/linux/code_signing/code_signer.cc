#include "platform/linux/code_signing/code_signer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/code_signature.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/code_signing/info_plist.h"
#include "platform/linux/posix/file_reading.h"
#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

std::unexpected<std::string> systemError(const std::string& what) {
  return std::unexpected(what + ": " + std::strerror(errno));
}

std::expected<void, std::string> writeSigned(int fd, std::span<const std::uint8_t> bytes) {
  if (const auto written = writeAll(fd, bytes); !written) {
    return std::unexpected(std::string("cannot write the signed file: ") +
                           std::strerror(written.error()));
  }
  return {};
}

// The new file beside the old one until it is renamed over it; removed if it never is.
class PendingFile {
 public:
  static std::expected<PendingFile, std::string> createBeside(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".signing-XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) return systemError("cannot create a file beside " + path);
    return PendingFile(std::move(fd), std::move(temporary));
  }
  PendingFile(PendingFile&& other) noexcept
      : fd_(std::move(other.fd_)), path_(std::exchange(other.path_, {})) {}
  PendingFile& operator=(PendingFile&&) = delete;
  ~PendingFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  int fd() const { return fd_.get(); }

  std::expected<void, std::string> replace(const std::string& target) {
    if (::fsync(fd_.get()) != 0) return systemError("cannot write the signed file");
    if (::rename(path_.c_str(), target.c_str()) != 0)
      return systemError("cannot replace " + target);
    path_.clear();
    return {};
  }

 private:
  PendingFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;
  std::string path_;
};

// How many bytes of the file are the executable: its image, without a signature behind it.
// Anything else behind the image is refused rather than dropped or signed unknowingly.
std::expected<std::uint64_t, std::string> codeLength(int fd, std::uint64_t fileSize,
                                                     const ElfImage& image) {
  if (image.extent == fileSize) return fileSize;
  const auto trailer = readSignatureTrailer(fd, fileSize);
  if (trailer && *trailer && (*trailer)->codeLength == image.extent) return image.extent;
  return std::unexpected("the file holds data behind its ELF image that is not a signature");
}

std::expected<void, std::string> copyRange(int from, int to, std::uint64_t length) {
  constexpr std::size_t kChunk = 64 * 1024;
  for (std::uint64_t done = 0; done < length;) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
    const auto bytes = readRange(from, done, chunk);
    if (!bytes) return std::unexpected("cannot read the file to sign");
    if (auto written = writeSigned(to, *bytes); !written) return written;
    done += chunk;
  }
  return {};
}

}  // namespace

std::expected<void, std::string> signFile(const SigningIdentity& identity,
                                          const SigningRequest& request) {
  if (request.identifier.empty() || request.identifier.size() > kMaxIdentifierLength ||
      request.identifier.find('\0') != std::string::npos) {
    return std::unexpected("invalid signing identifier");
  }
  UniqueFd file(::open(request.file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return systemError("cannot open " + request.file);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return systemError("cannot read " + request.file);
  if (!S_ISREG(status.st_mode)) return std::unexpected(request.file + " is not a regular file");
  const auto fileSize = static_cast<std::uint64_t>(status.st_size);

  const auto image = readElfImage(file.get(), fileSize);
  if (!image) return std::unexpected(request.file + ": " + image.error());
  const auto length = codeLength(file.get(), fileSize, *image);
  if (!length) return std::unexpected(request.file + ": " + length.error());

  CodeDirectory directory{.identifier = request.identifier, .codeLength = *length};
  const auto section = readElfSection(file.get(), *image, kInfoPlistSection, kMaxInfoPlistLength);
  if (!section) return std::unexpected(request.file + ": " + section.error());
  if (*section && request.infoPlist && **section != *request.infoPlist) {
    return std::unexpected("the information dictionary given is not the one in the executable");
  }
  directory.infoPlist = *section ? *section : request.infoPlist;
  if (directory.infoPlist && !parseInfoDictionary(*directory.infoPlist)) {
    return std::unexpected("the information dictionary is not an XML property list dictionary");
  }
  const auto hash = hashCode(file.get(), *length);
  if (!hash) return std::unexpected("cannot read " + request.file);
  directory.codeHash = *hash;

  const auto blob = signData(identity, directory.encode());
  if (!blob) return std::unexpected(blob.error());
  const SignatureTrailer trailer{.codeLength = *length, .blobLength = blob->size()};

  auto pending = PendingFile::createBeside(request.file);
  if (!pending) return std::unexpected(pending.error());
  if (auto copied = copyRange(file.get(), pending->fd(), *length); !copied) return copied;
  if (auto written = writeSigned(pending->fd(), *blob); !written) return written;
  if (auto written = writeSigned(pending->fd(), trailer.encode()); !written) return written;
  // The owner first: changing it clears set-user-ID bits that the mode then restores.
  if (::fchown(pending->fd(), status.st_uid, status.st_gid) != 0) {
    return systemError("cannot keep the owner of " + request.file);
  }
  if (::fchmod(pending->fd(), status.st_mode & 07777) != 0) {
    return systemError("cannot keep the mode of " + request.file);
  }
  return pending->replace(request.file);
}

}  // namespace tarnel::linux_platform
