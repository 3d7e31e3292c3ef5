#include "platform/linux/code_signing/code_directory.h"

#include <algorithm>

namespace tarnel::linux_platform {

namespace {

constexpr std::uint32_t kMaxEntries = 64;
constexpr std::size_t kHeaderLength = sizeof kCodeDirectoryMagic + 4 + 4;
constexpr std::size_t kEntryHeaderLength = 8;

using Error = SignatureFormatError::Kind;

std::unexpected<SignatureFormatError> error(Error kind, std::uint64_t entry = 0) {
  return std::unexpected(SignatureFormatError{kind, entry});
}

std::uint64_t littleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

std::span<const std::uint8_t> asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void appendLittleEndian(Bytes& bytes, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) bytes.push_back((value >> (8 * i)) & 0xff);
}

void appendCodeDirectoryEntry(Bytes& bytes, std::uint32_t type,
                              std::span<const std::uint8_t> data) {
  appendLittleEndian(bytes, type, 4);
  appendLittleEndian(bytes, data.size(), 4);
  bytes.insert(bytes.end(), data.begin(), data.end());
}

Bytes CodeDirectory::encode() const {
  Bytes bytes(std::begin(kCodeDirectoryMagic), std::end(kCodeDirectoryMagic));
  appendLittleEndian(bytes, kCodeDirectoryVersion, 4);
  appendLittleEndian(bytes, infoPlist ? 5 : 4, 4);
  const auto entry = [&](CodeDirectoryEntry type, std::span<const std::uint8_t> data) {
    appendCodeDirectoryEntry(bytes, static_cast<std::uint32_t>(type), data);
  };
  entry(CodeDirectoryEntry::identifier, asBytes(identifier));
  const std::uint8_t hashType[] = {kHashTypeSha256};
  entry(CodeDirectoryEntry::hashType, hashType);
  Bytes length;
  appendLittleEndian(length, codeLength, 8);
  entry(CodeDirectoryEntry::codeLength, length);
  entry(CodeDirectoryEntry::codeHash, codeHash);
  if (infoPlist) entry(CodeDirectoryEntry::infoPlist, *infoPlist);
  return bytes;
}

std::expected<CodeDirectory, SignatureFormatError> parseCodeDirectory(
    std::span<const std::uint8_t> bytes, Strictness strictness) {
  if (bytes.size() < kHeaderLength ||
      !std::equal(
          std::begin(kCodeDirectoryMagic), std::end(kCodeDirectoryMagic), bytes.begin(),
          [](char magic, std::uint8_t byte) { return static_cast<std::uint8_t>(magic) == byte; })) {
    return error(Error::notCodeDirectory);
  }
  if (littleEndian(bytes.subspan(8, 4)) != kCodeDirectoryVersion) {
    return error(Error::unknownDirectoryVersion);
  }
  const auto count = littleEndian(bytes.subspan(12, 4));
  if (count > kMaxEntries) return error(Error::tooManyEntries);

  CodeDirectory directory;
  bool seen[6] = {};
  std::size_t at = kHeaderLength;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (bytes.size() - at < kEntryHeaderLength) return error(Error::truncatedDirectory);
    const auto type = littleEndian(bytes.subspan(at, 4));
    const auto length = littleEndian(bytes.subspan(at + 4, 4));
    at += kEntryHeaderLength;
    if (length > bytes.size() - at) return error(Error::truncatedEntry);
    const auto data = bytes.subspan(at, static_cast<std::size_t>(length));
    at += data.size();

    if (type == 0 || type >= std::size(seen)) {
      if (strictness == Strictness::strict) {
        return error(Error::unknownEntry, type);
      }
      continue;
    }
    if (seen[type]) return error(Error::repeatedEntry, type);
    seen[type] = true;
    switch (static_cast<CodeDirectoryEntry>(type)) {
      case CodeDirectoryEntry::identifier:
        if (data.empty() || data.size() > kMaxIdentifierLength ||
            std::ranges::find(data, 0) != data.end()) {
          return error(Error::invalidIdentifier);
        }
        directory.identifier.assign(data.begin(), data.end());
        break;
      case CodeDirectoryEntry::hashType:
        if (data.size() != 1 || data[0] != kHashTypeSha256) return error(Error::unknownHashType);
        break;
      case CodeDirectoryEntry::codeLength:
        if (data.size() != 8) return error(Error::invalidCodeLength);
        directory.codeLength = littleEndian(data);
        break;
      case CodeDirectoryEntry::codeHash:
        if (data.size() != kSha256Length) return error(Error::invalidCodeHash);
        std::ranges::copy(data, directory.codeHash.begin());
        break;
      case CodeDirectoryEntry::infoPlist:
        directory.infoPlist = Bytes(data.begin(), data.end());
        break;
    }
  }
  if (at != bytes.size() && strictness == Strictness::strict) {
    return error(Error::bytesAfterEntries);
  }
  for (const auto required : {CodeDirectoryEntry::identifier, CodeDirectoryEntry::hashType,
                              CodeDirectoryEntry::codeLength, CodeDirectoryEntry::codeHash}) {
    if (!seen[static_cast<std::uint32_t>(required)]) {
      return error(Error::missingEntry, static_cast<std::uint32_t>(required));
    }
  }
  return directory;
}

}  // namespace tarnel::linux_platform
