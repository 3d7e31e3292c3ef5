// Compiles a text of the code requirement language into an expression tree. Only what the
// parser fully understands compiles; anything else is an error, never a requirement that passes.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "platform/linux/code_signing/requirement/expression.h"
#include "platform/linux/code_signing/requirement/requirement_error.h"

namespace tarnel::linux_platform {

// The deepest nesting of parentheses and `!` accepted, so that no text can exhaust the stack.
inline constexpr int kMaxRequirementNesting = 64;

// The expression of `text`, or why it does not compile.
std::expected<requirement::Expression, RequirementError> parseRequirement(std::string_view text);

}  // namespace tarnel::linux_platform
