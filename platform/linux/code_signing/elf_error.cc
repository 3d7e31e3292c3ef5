#include "platform/linux/code_signing/elf_error.h"

#include "platform/linux/posix/message_text.h"

namespace tarnel::linux_platform {

namespace {

using Kind = ElfError::Kind;

// {s} the subject.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::notElf, "not an ELF file"},
    {Kind::unknownForm, "unknown ELF class, byte order or version"},
    {Kind::truncatedHeader, "truncated ELF header"},
    {Kind::notExecutable, "not an ELF executable"},
    {Kind::entriesTooSmall, "ELF header declares entries too small"},
    {Kind::unsupportedNumbering, "unsupported ELF section numbering"},
    {Kind::tableOutsideFile, "{s} table lies outside the file"},
    {Kind::unreadableTable, "cannot read the {s} table"},
    {Kind::segmentOutsideFile, "ELF segment lies outside the file"},
    {Kind::sectionOutsideFile, "ELF section lies outside the file"},
    {Kind::sectionNamesTooLarge, "ELF section names too large"},
    {Kind::unreadableSectionNames, "cannot read the ELF section names"},
    {Kind::sectionNameOutsideTable, "ELF section name outside its table"},
    {Kind::unterminatedSectionName, "unterminated ELF section name"},
    {Kind::repeatedSection, "more than one section {s}"},
    {Kind::sectionTooLarge, "section {s} too large"},
    {Kind::unreadableSection, "cannot read section {s}"},
};
static_assert(everyKindHasOneText(kTexts, Kind::unreadableSection));

}  // namespace

std::string describe(const ElfError& error) {
  return filledIn(textOf(kTexts, error.kind), {{'s', error.subject}});
}

}  // namespace tarnel::linux_platform
