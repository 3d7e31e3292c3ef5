// Why an ELF file's layout or one of its sections cannot be read: its headers are not an
// executable's, declare something outside the file, or a read fails. The words are made by
// describe(), where the reason leaves the program.
#pragma once

#include <string>

namespace tarnel::linux_platform {

struct ElfError {
  enum class Kind {
    notElf,
    unknownForm,  // class, byte order or version
    truncatedHeader,
    notExecutable,
    entriesTooSmall,
    unsupportedNumbering,
    tableOutsideFile,  // `subject`: which table
    unreadableTable,   // `subject`: which table
    segmentOutsideFile,
    sectionOutsideFile,
    sectionNamesTooLarge,
    unreadableSectionNames,
    sectionNameOutsideTable,
    unterminatedSectionName,
    repeatedSection,    // `subject`: the section's name
    sectionTooLarge,    // `subject`: the section's name
    unreadableSection,  // `subject`: the section's name
  };
  Kind kind;
  std::string subject;
};

// The reason in words: "section __info_plist too large".
std::string describe(const ElfError& error);

}  // namespace tarnel::linux_platform
