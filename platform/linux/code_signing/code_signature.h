// Where a signature sits in a signed executable: the signed code (every byte of the ELF file
// before the signature), then the signature blob (CMS signed data over the code directory), then
// a fixed 32-byte trailer that ends the file and locates the blob:
//   magic "TNLSIGN\0" | version u32 = 1 | flags u32 = 0 | code length u64 | blob length u64
// (integers little-endian).
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "model/value.h"
#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/signature_format_error.h"

namespace tarnel::linux_platform {

inline constexpr std::size_t kSignatureTrailerLength = 32;
inline constexpr char kSignatureTrailerMagic[8] = {'T', 'N', 'L', 'S', 'I', 'G', 'N', '\0'};
inline constexpr std::uint32_t kSignatureTrailerVersion = 1;
// No signature blob is larger: a few certificates and a code directory with a property list.
inline constexpr std::uint64_t kMaxSignatureBlobLength = 4 * 1024 * 1024;

struct SignatureTrailer {
  std::uint32_t version = kSignatureTrailerVersion;
  std::uint32_t flags = 0;  // none defined; strict validation refuses any
  std::uint64_t codeLength = 0;
  std::uint64_t blobLength = 0;

  Bytes encode() const;
};

// The trailer that ends the open file `fd` of `fileSize` bytes: nothing when the file does not
// end with one (it is unsigned); why not when it does but the trailer is malformed or does not
// account for the whole file.
std::expected<std::optional<SignatureTrailer>, SignatureFormatError> readSignatureTrailer(
    int fd, std::uint64_t fileSize);

// The SHA-256 of the first `length` bytes of `fd`, read in bounded chunks; nothing when they
// cannot all be read.
std::optional<Sha256> hashCode(int fd, std::uint64_t length);

}  // namespace tarnel::linux_platform
