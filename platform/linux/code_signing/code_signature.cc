#include "platform/linux/code_signing/code_signature.h"

#include <openssl/evp.h>

#include <algorithm>

#include "platform/linux/code_signing/openssl_ptr.h"
#include "platform/linux/posix/file_reading.h"

namespace tarnel::linux_platform {

namespace {

using Error = SignatureFormatError::Kind;

std::uint64_t littleEndian(const Bytes& bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

}  // namespace

Bytes SignatureTrailer::encode() const {
  Bytes bytes(std::begin(kSignatureTrailerMagic), std::end(kSignatureTrailerMagic));
  appendLittleEndian(bytes, version, 4);
  appendLittleEndian(bytes, flags, 4);
  appendLittleEndian(bytes, codeLength, 8);
  appendLittleEndian(bytes, blobLength, 8);
  return bytes;
}

std::expected<std::optional<SignatureTrailer>, SignatureFormatError> readSignatureTrailer(
    int fd, std::uint64_t fileSize) {
  if (fileSize < kSignatureTrailerLength) return std::optional<SignatureTrailer>();
  const auto bytes = readRange(fd, fileSize - kSignatureTrailerLength, kSignatureTrailerLength);
  if (!bytes) return std::unexpected(SignatureFormatError{Error::unreadableTrailer});
  if (!std::equal(
          std::begin(kSignatureTrailerMagic), std::end(kSignatureTrailerMagic), bytes->begin(),
          [](char magic, std::uint8_t byte) { return static_cast<std::uint8_t>(magic) == byte; })) {
    return std::optional<SignatureTrailer>();
  }
  const SignatureTrailer trailer{
      .version = static_cast<std::uint32_t>(littleEndian(*bytes, 8, 4)),
      .flags = static_cast<std::uint32_t>(littleEndian(*bytes, 12, 4)),
      .codeLength = littleEndian(*bytes, 16, 8),
      .blobLength = littleEndian(*bytes, 24, 8),
  };
  if (trailer.version != kSignatureTrailerVersion) {
    return std::unexpected(SignatureFormatError{Error::unknownTrailerVersion});
  }
  const std::uint64_t beforeTrailer = fileSize - kSignatureTrailerLength;
  if (trailer.blobLength == 0 || trailer.blobLength > kMaxSignatureBlobLength ||
      trailer.blobLength > beforeTrailer ||
      trailer.codeLength != beforeTrailer - trailer.blobLength) {
    return std::unexpected(SignatureFormatError{Error::trailerMismatch});
  }
  return std::optional<SignatureTrailer>(trailer);
}

std::optional<Sha256> hashCode(int fd, std::uint64_t length) {
  constexpr std::size_t kChunk = 64 * 1024;
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
  // One buffer for every chunk: a fresh one, zeroed, for each would add a few per cent to the
  // hash of every client at every connection.
  Bytes buffer(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length)));
  for (std::uint64_t done = 0; done < length;) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
    if (!readRangeInto(fd, done, {buffer.data(), chunk}) ||
        EVP_DigestUpdate(context.get(), buffer.data(), chunk) != 1) {
      return std::nullopt;
    }
    done += chunk;
  }
  Sha256 digest{};
  unsigned int digestLength = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &digestLength) != 1 ||
      digestLength != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace tarnel::linux_platform
