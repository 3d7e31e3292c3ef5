// The words of the code-signing errors where a value joins a kind's text: the reasons that
// codesign prints and the helper logs, which scripts and people read, stay as they were.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/linux/code_signing/certificate_error.h"
#include "platform/linux/code_signing/elf_error.h"
#include "platform/linux/code_signing/requirement/requirement_error.h"
#include "platform/linux/code_signing/signature_format_error.h"
#include "platform/linux/code_signing/signing_error.h"

namespace tarnel::linux_platform {
namespace {

TEST(CodeSigningErrors, JoinTheirValuesToTheirTexts) {
  using Requirement = RequirementError::Kind;
  const struct {
    std::string described;
    const char* text;
  } cases[] = {
      {describe(RequirementError{Requirement::unexpectedCharacter, 7, "&"}),
       "unexpected character '&' at offset 7"},
      {describe(RequirementError{Requirement::tooLong, 0, {}}), "requirement text too long"},
      {describe(ElfError{ElfError::Kind::tableOutsideFile, "program header"}),
       "program header table lies outside the file"},
      {describe(SignatureFormatError{SignatureFormatError::Kind::repeatedEntry, 1}),
       "repeated code directory entry 1"},
      {describe(
           CertificateError{CertificateError::Kind::anchorsRefused, "/etc/tarnel/anchors",
                            RootOnlyError{RootOnlyError::Kind::writableByOthers, "/etc/tarnel"}}),
       "the trust anchors in /etc/tarnel/anchors are refused: /etc/tarnel is writable by others"},
      {describe(SigningError{SigningError::Kind::unreadableElf, "/bin/x", 0,
                             ElfError{ElfError::Kind::sectionTooLarge, "__info_plist"}}),
       "/bin/x: section __info_plist too large"},
      {describe(SigningError{SigningError::Kind::notReplaced, "/bin/x", ENOENT, std::nullopt}),
       "cannot replace /bin/x: No such file or directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.described, c.text);
}

}  // namespace
}  // namespace tarnel::linux_platform
