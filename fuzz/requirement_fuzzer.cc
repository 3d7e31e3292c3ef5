// The requirement-language compiler: the input is a requirement text. What compiles is judged
// against what a validated signature of the maker's team establishes, and its negation, written
// around it, must compile to the opposite verdict unless that nests past the limit. The text is
// also compared as a version with a few versions, in both orders.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/finding.h"
#include "platform/linux/code_signing/requirement/evaluator.h"
#include "platform/linux/code_signing/requirement/lexer.h"
#include "platform/linux/code_signing/requirement/parser.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using tarnel::fuzz::expect;

const RequirementContext& signedByTheTeam() {
  static const RequirementContext context = [] {
    RequirementContext made;
    made.anchored = true;
    made.identifier = "com.quorvant.TarnelX8.XPCPrivileged";
    made.chain = {
        {.subject = {{"CN", "Code Signing: Quorvant (K3VQ8ZT2MN)"},
                     {"OU", "K3VQ8ZT2MN"},
                     {"O", "Quorvant"},
                     {"C", "US"}},
         .extensions = {{"1.2.840.113635.100.6.1.13", std::nullopt},
                        {"2.5.29.37", std::nullopt},
                        {"1.2.3.4", "text"}}},
        {.subject = {{"CN", "Tarnel Test Code Signing CA"}, {"O", "Tarnel Test"}},
         .extensions = {{"1.2.840.113635.100.6.2.6", std::nullopt}}},
        {.subject = {{"CN", "Tarnel Test Root CA"}, {"O", "Tarnel Test"}}, .extensions = {}},
    };
    made.info.append("CFBundleIdentifier", "com.quorvant.TarnelX8.XPCPrivileged");
    made.info.append("CFBundleShortVersionString", "8.0");
    made.info.append("CFBundleVersion", std::int64_t{8});
    return made;
  }();
  return context;
}

int sign(int order) { return (order > 0) - (order < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  for (const std::string_view version : {"8.0", "10.0", "7", "", "a1b02"}) {
    expect(sign(compareNumerically(text, version)) == -sign(compareNumerically(version, text)),
           "comparing versions is not antisymmetric");
  }
  expect(compareNumerically(text, text) == 0, "a version differs from itself");

  const auto expression = parseRequirement(text);
  if (!expression) return 0;
  const bool holds = evaluateRequirement(*expression, signedByTheTeam());

  // A line comment runs to the end of its line: the closing parenthesis goes on the next.
  const std::string negated = "!(" + std::string(text) + "\n)";
  if (negated.size() > kMaxRequirementLength) return 0;
  const auto negation = parseRequirement(negated);
  if (!negation) {
    expect(negation.error().kind == RequirementError::Kind::nestedTooDeeply,
           "the negation of a requirement does not compile");
    return 0;
  }
  expect(evaluateRequirement(*negation, signedByTheTeam()) == !holds,
         "the negation of a requirement does not give the opposite verdict");
  return 0;
}
