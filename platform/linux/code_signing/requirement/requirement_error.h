// Why a text of the code requirement language does not compile: what the lexer or the parser
// found, and where. The words are made by describe(), where the reason leaves the program.
#pragma once

#include <cstddef>
#include <string>

namespace tarnel::linux_platform {

struct RequirementError {
  enum class Kind {
    // The lexer's
    tooLong,
    unterminatedComment,
    unexpectedCharacter,  // `subject`: the character
    unterminatedString,
    unquotedValue,
    numberOutOfRange,
    emptyNamePart,
    // The parser's
    textAfterRequirement,
    nestedTooDeeply,
    expectedWord,  // `subject`: the keyword
    expected,      // `subject`: the punctuation, quoted
    expectedRequirement,
    unknownRequirement,  // `subject`: the word
    expectedCertificateSlot,
    unknownCertificateKey,  // `subject`: the key
    expectedValue,
  };
  Kind kind;
  std::size_t offset = 0;  // where in the text; every kind but tooLong has one
  std::string subject;
};

// The reason in words, as codesign reports it: "expected ')' at offset 12".
std::string describe(const RequirementError& error);

}  // namespace tarnel::linux_platform
