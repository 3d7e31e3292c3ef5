#include "platform/linux/code_signing/elf_error.h"

#include <algorithm>
#include <cstdlib>

namespace tarnel::linux_platform {

namespace {

using Kind = ElfError::Kind;

// The text of each kind: `before`, the subject, then `after`.
struct Row {
  Kind kind;
  const char* before;
  const char* after;
};

constexpr Row kRows[] = {
    {Kind::notElf, "not an ELF file", ""},
    {Kind::unknownForm, "unknown ELF class, byte order or version", ""},
    {Kind::truncatedHeader, "truncated ELF header", ""},
    {Kind::notExecutable, "not an ELF executable", ""},
    {Kind::entriesTooSmall, "ELF header declares entries too small", ""},
    {Kind::unsupportedNumbering, "unsupported ELF section numbering", ""},
    {Kind::tableOutsideFile, "", " table lies outside the file"},
    {Kind::unreadableTable, "cannot read the ", " table"},
    {Kind::segmentOutsideFile, "ELF segment lies outside the file", ""},
    {Kind::sectionOutsideFile, "ELF section lies outside the file", ""},
    {Kind::sectionNamesTooLarge, "ELF section names too large", ""},
    {Kind::unreadableSectionNames, "cannot read the ELF section names", ""},
    {Kind::sectionNameOutsideTable, "ELF section name outside its table", ""},
    {Kind::unterminatedSectionName, "unterminated ELF section name", ""},
    {Kind::repeatedSection, "more than one section ", ""},
    {Kind::sectionTooLarge, "section ", " too large"},
    {Kind::unreadableSection, "cannot read section ", ""},
};

}  // namespace

std::string describe(const ElfError& error) {
  const auto row = std::ranges::find(kRows, error.kind, &Row::kind);
  // Every kind has its row: a kind without one is a programming error.
  if (row == std::end(kRows)) std::abort();
  return row->before + error.subject + row->after;
}

}  // namespace tarnel::linux_platform
