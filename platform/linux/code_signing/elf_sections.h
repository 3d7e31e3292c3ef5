// The layout of an ELF executable as its headers declare it: where its image ends, and its
// sections by name, among them the embedded property lists.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"
#include "platform/linux/code_signing/elf_error.h"

namespace tarnel::linux_platform {

// The executable's information dictionary and its launchd property list, as XML.
inline constexpr std::string_view kInfoPlistSection = "__info_plist";
inline constexpr std::string_view kLaunchdPlistSection = "__launchd_plist";

struct ElfSection {
  std::string name;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;  // bytes in the file; 0 for sections that occupy none
};

struct ElfImage {
  // One past the last byte that any header, table, section or segment occupies.
  std::uint64_t extent = 0;
  std::vector<ElfSection> sections;

  const ElfSection* find(std::string_view name) const;
};

// The layout of the ELF executable (or shared object) in the open file `fd` of `fileSize` bytes;
// why not when it is not one, or declares anything outside the file.
std::expected<ElfImage, ElfError> readElfImage(int fd, std::uint64_t fileSize);

// The contents of the section `name`: nothing when there is no such section, why not when it
// cannot be read or is larger than `limit`.
std::expected<std::optional<Bytes>, ElfError> readElfSection(int fd, const ElfImage& image,
                                                             std::string_view name,
                                                             std::size_t limit);

}  // namespace tarnel::linux_platform
