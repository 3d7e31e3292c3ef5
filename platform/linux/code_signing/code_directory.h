// The code directory: what a signature signs. It names the code (the signing identifier), binds
// the information dictionary, and fixes the length and SHA-256 of every byte before the
// signature. Encoded as a magic, a version and a list of typed entries.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include "model/value.h"
#include "platform/linux/code_signing/signature_format_error.h"

namespace tarnel::linux_platform {

// Whether parts that this version does not know are refused or passed over.
enum class Strictness { strict, lenient };

inline constexpr std::size_t kSha256Length = 32;
using Sha256 = std::array<std::uint8_t, kSha256Length>;

inline constexpr std::size_t kMaxIdentifierLength = 512;

struct CodeDirectory {
  std::string identifier;
  std::uint64_t codeLength = 0;
  Sha256 codeHash{};
  std::optional<Bytes> infoPlist;  // the XML of the information dictionary, when one is bound

  Bytes encode() const;
  bool operator==(const CodeDirectory&) const = default;
};

// The code directory in `bytes`; why not when it is malformed, or, when strict, holds an entry of
// an unknown type or bytes after its entries.
std::expected<CodeDirectory, SignatureFormatError> parseCodeDirectory(
    std::span<const std::uint8_t> bytes, Strictness strictness);

// The entry types of the encoding, for tests that build directories by hand.
enum class CodeDirectoryEntry : std::uint32_t {
  identifier = 1,
  hashType = 2,  // one byte: 1 for SHA-256, the only one
  codeLength = 3,
  codeHash = 4,
  infoPlist = 5,
};
inline constexpr std::uint8_t kHashTypeSha256 = 1;
inline constexpr char kCodeDirectoryMagic[8] = {'T', 'N', 'L', 'C', 'D', 'I', 'R', '\0'};
inline constexpr std::uint32_t kCodeDirectoryVersion = 1;

// Appends one entry in the encoding's form; how encode() builds a directory.
void appendCodeDirectoryEntry(Bytes& bytes, std::uint32_t type, std::span<const std::uint8_t> data);
void appendLittleEndian(Bytes& bytes, std::uint64_t value, std::size_t width);

}  // namespace tarnel::linux_platform
