#include "platform/linux/code_signing/elf_sections.h"

#include <elf.h>

#include <algorithm>
#include <cstddef>

#include "platform/linux/posix/file_reading.h"

namespace tarnel::linux_platform {

namespace {

// No real executable comes near these; they keep what a crafted header can make us read small.
constexpr std::size_t kMaxTableBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaxSectionNamesBytes = 1024 * 1024;

using Error = ElfError::Kind;

// A field of an ELF structure, by its offset in the 64-bit and in the 32-bit form of it.
struct Field {
  std::size_t offset64;
  std::size_t offset32;
};

#define TARNEL_ELF_FIELD(structure, member) \
  Field { offsetof(Elf64_##structure, member), offsetof(Elf32_##structure, member) }

constexpr Field kHeaderType = TARNEL_ELF_FIELD(Ehdr, e_type);
constexpr Field kHeaderSize = TARNEL_ELF_FIELD(Ehdr, e_ehsize);
constexpr Field kProgramTableOffset = TARNEL_ELF_FIELD(Ehdr, e_phoff);
constexpr Field kProgramEntrySize = TARNEL_ELF_FIELD(Ehdr, e_phentsize);
constexpr Field kProgramCount = TARNEL_ELF_FIELD(Ehdr, e_phnum);
constexpr Field kSectionTableOffset = TARNEL_ELF_FIELD(Ehdr, e_shoff);
constexpr Field kSectionEntrySize = TARNEL_ELF_FIELD(Ehdr, e_shentsize);
constexpr Field kSectionCount = TARNEL_ELF_FIELD(Ehdr, e_shnum);
constexpr Field kSectionNamesIndex = TARNEL_ELF_FIELD(Ehdr, e_shstrndx);
constexpr Field kSegmentOffset = TARNEL_ELF_FIELD(Phdr, p_offset);
constexpr Field kSegmentFileSize = TARNEL_ELF_FIELD(Phdr, p_filesz);
constexpr Field kSectionName = TARNEL_ELF_FIELD(Shdr, sh_name);
constexpr Field kSectionType = TARNEL_ELF_FIELD(Shdr, sh_type);
constexpr Field kSectionOffset = TARNEL_ELF_FIELD(Shdr, sh_offset);
constexpr Field kSectionSize = TARNEL_ELF_FIELD(Shdr, sh_size);

#undef TARNEL_ELF_FIELD

// Reads the fields of the headers in the byte order and width that the file declares, each field
// of the structure that begins at `base` in `bytes`.
class FieldReader {
 public:
  FieldReader(bool bigEndian, bool wide) : bigEndian_(bigEndian), wide_(wide) {}

  bool wide() const { return wide_; }

  // An address-sized field (Addr, Off, Xword or Word by form): 8 bytes wide in a 64-bit file, 4
  // in a 32-bit one.
  std::uint64_t word(const Bytes& bytes, std::size_t base, Field field) const {
    return wide_ ? at(bytes, base + field.offset64, 8) : at(bytes, base + field.offset32, 4);
  }
  // A field that is 4 bytes wide in both forms.
  std::uint64_t word32(const Bytes& bytes, std::size_t base, Field field) const {
    return at(bytes, base + offsetIn(field), 4);
  }
  // A field that is 2 bytes wide in both forms.
  std::uint64_t half(const Bytes& bytes, std::size_t base, Field field) const {
    return at(bytes, base + offsetIn(field), 2);
  }

 private:
  std::size_t offsetIn(Field field) const { return wide_ ? field.offset64 : field.offset32; }

  std::uint64_t at(const Bytes& bytes, std::size_t offset, std::size_t width) const {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const std::size_t index = bigEndian_ ? offset + i : offset + width - 1 - i;
      value = (value << 8) | bytes[index];
    }
    return value;
  }

  bool bigEndian_;
  bool wide_;
};

// `offset + size`, or nothing when it overflows or passes `limit`.
std::optional<std::uint64_t> endWithin(std::uint64_t offset, std::uint64_t size,
                                       std::uint64_t limit) {
  if (offset > limit || size > limit - offset) return std::nullopt;
  return offset + size;
}

struct Table {
  std::uint64_t offset;
  std::uint64_t count;
  std::uint64_t entrySize;
};

std::unexpected<ElfError> error(ElfError::Kind kind, std::string_view subject = {}) {
  return std::unexpected(ElfError{kind, std::string(subject)});
}

std::expected<Bytes, ElfError> readTable(int fd, const Table& table, std::uint64_t fileSize,
                                         std::string_view what) {
  const std::uint64_t bytes = table.count * table.entrySize;  // both fit in 16 bits
  if (bytes > kMaxTableBytes || !endWithin(table.offset, bytes, fileSize)) {
    return error(Error::tableOutsideFile, what);
  }
  auto contents = readRange(fd, table.offset, static_cast<std::size_t>(bytes));
  if (!contents) return error(Error::unreadableTable, what);
  return std::move(*contents);
}

}  // namespace

const ElfSection* ElfImage::find(std::string_view name) const {
  const auto found = std::ranges::find(sections, name, &ElfSection::name);
  return found == sections.end() ? nullptr : &*found;
}

std::expected<ElfImage, ElfError> readElfImage(int fd, std::uint64_t fileSize) {
  const auto identification = readRange(fd, 0, EI_NIDENT);
  if (!identification || !std::equal(ELFMAG, ELFMAG + SELFMAG, identification->begin())) {
    return error(Error::notElf);
  }
  const auto elfClass = (*identification)[EI_CLASS];
  const auto byteOrder = (*identification)[EI_DATA];
  if ((elfClass != ELFCLASS32 && elfClass != ELFCLASS64) ||
      (byteOrder != ELFDATA2LSB && byteOrder != ELFDATA2MSB) ||
      (*identification)[EI_VERSION] != EV_CURRENT) {
    return error(Error::unknownForm);
  }
  const FieldReader field(byteOrder == ELFDATA2MSB, elfClass == ELFCLASS64);
  const std::size_t headerSize = field.wide() ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr);
  const auto header = readRange(fd, 0, headerSize);
  if (!header) return error(Error::truncatedHeader);

  const auto type = field.half(*header, 0, kHeaderType);
  if (type != ET_EXEC && type != ET_DYN) return error(Error::notExecutable);
  const Table programs{field.word(*header, 0, kProgramTableOffset),
                       field.half(*header, 0, kProgramCount),
                       field.half(*header, 0, kProgramEntrySize)};
  const Table sections{field.word(*header, 0, kSectionTableOffset),
                       field.half(*header, 0, kSectionCount),
                       field.half(*header, 0, kSectionEntrySize)};
  const auto namesIndex = field.half(*header, 0, kSectionNamesIndex);
  const std::size_t programEntry = field.wide() ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr);
  const std::size_t sectionEntry = field.wide() ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
  if (field.half(*header, 0, kHeaderSize) < headerSize ||
      (programs.count > 0 && programs.entrySize < programEntry) ||
      (sections.count > 0 && sections.entrySize < sectionEntry)) {
    return error(Error::entriesTooSmall);
  }
  // Extended numbering is for files with more sections than any executable we sign.
  if ((sections.count == 0 && sections.offset != 0) || namesIndex >= SHN_LORESERVE ||
      (sections.count > 0 && namesIndex >= sections.count)) {
    return error(Error::unsupportedNumbering);
  }

  ElfImage image;
  image.extent = headerSize;
  const auto extendTo = [&](std::uint64_t offset, std::uint64_t size) {
    const auto end = endWithin(offset, size, fileSize);
    if (end) image.extent = std::max(image.extent, *end);
    return end.has_value();
  };

  if (programs.count > 0) {
    const auto table = readTable(fd, programs, fileSize, "program header");
    if (!table) return std::unexpected(table.error());
    extendTo(programs.offset, programs.count * programs.entrySize);
    for (std::uint64_t i = 0; i < programs.count; ++i) {
      const std::size_t at = static_cast<std::size_t>(i * programs.entrySize);
      const auto offset = field.word(*table, at, kSegmentOffset);
      const auto fileBytes = field.word(*table, at, kSegmentFileSize);
      if (!extendTo(offset, fileBytes)) return error(Error::segmentOutsideFile);
    }
  }

  if (sections.count > 0) {
    const auto table = readTable(fd, sections, fileSize, "section header");
    if (!table) return std::unexpected(table.error());
    extendTo(sections.offset, sections.count * sections.entrySize);
    struct Raw {
      std::uint64_t nameOffset, type, offset, size;
    };
    std::vector<Raw> raw;
    for (std::uint64_t i = 0; i < sections.count; ++i) {
      const std::size_t at = static_cast<std::size_t>(i * sections.entrySize);
      Raw entry{field.word32(*table, at, kSectionName), field.word32(*table, at, kSectionType),
                field.word(*table, at, kSectionOffset), field.word(*table, at, kSectionSize)};
      if (entry.type == SHT_NOBITS || entry.type == SHT_NULL) entry.size = 0;
      if (!extendTo(entry.offset, entry.size)) return error(Error::sectionOutsideFile);
      raw.push_back(entry);
    }
    Bytes names;
    if (namesIndex != SHN_UNDEF) {
      const auto& namesSection = raw[namesIndex];
      if (namesSection.size > kMaxSectionNamesBytes) return error(Error::sectionNamesTooLarge);
      auto read = readRange(fd, namesSection.offset, static_cast<std::size_t>(namesSection.size));
      if (!read) return error(Error::unreadableSectionNames);
      names = std::move(*read);
    }
    for (const auto& entry : raw) {
      std::string name;
      if (!names.empty()) {
        if (entry.nameOffset >= names.size()) return error(Error::sectionNameOutsideTable);
        const auto begin = names.begin() + static_cast<std::ptrdiff_t>(entry.nameOffset);
        const auto end = std::find(begin, names.end(), 0);
        if (end == names.end()) return error(Error::unterminatedSectionName);
        name.assign(begin, end);
      }
      image.sections.push_back({std::move(name), entry.offset, entry.size});
    }
  }
  return image;
}

std::expected<std::optional<Bytes>, ElfError> readElfSection(int fd, const ElfImage& image,
                                                             std::string_view name,
                                                             std::size_t limit) {
  const ElfSection* section = image.find(name);
  if (!section) return std::optional<Bytes>();
  if (std::ranges::count(image.sections, name, &ElfSection::name) > 1) {
    return error(Error::repeatedSection, name);
  }
  if (section->size > limit) return error(Error::sectionTooLarge, name);
  auto contents = readRange(fd, section->offset, static_cast<std::size_t>(section->size));
  if (!contents) return error(Error::unreadableSection, name);
  return std::optional<Bytes>(std::move(*contents));
}

}  // namespace tarnel::linux_platform
