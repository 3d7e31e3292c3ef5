// Splits a text of the code requirement language into tokens: words (keywords and bare dotted
// names), quoted strings, integers and punctuation. Comments are dropped here.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/code_signing/requirement/requirement_error.h"

namespace tarnel::linux_platform {

struct RequirementToken {
  enum class Kind {
    word,     // a keyword or a bare name: letters, digits, '_' and '.' between name parts
    string,   // a quoted string, its escapes resolved
    integer,  // an optionally negative decimal number (certificate slots)
    leftParen,
    rightParen,
    leftBracket,
    rightBracket,
    bang,
    star,
    equal,
    less,
    greater,
    lessOrEqual,
    greaterOrEqual,
    end,
  };
  Kind kind;
  std::string text;          // word or string contents
  std::int64_t integer = 0;  // for integer
  std::size_t offset = 0;    // where the token starts, for error messages
};

// The longest requirement text accepted; a text longer than any sensible requirement is refused.
inline constexpr std::size_t kMaxRequirementLength = 64 * 1024;

// The tokens of `text`, ending with one `end` token; or why the text is not made of tokens.
std::expected<std::vector<RequirementToken>, RequirementError> tokenizeRequirement(
    std::string_view text);

}  // namespace tarnel::linux_platform
