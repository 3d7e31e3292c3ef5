// The code requirement language as the compiler accepts it: a table of texts and verdicts, and
// the shape of what the texts compile to where precedence and defaults decide it.
#include "platform/linux/code_signing/requirement/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/code_signing/requirement/lexer.h"

namespace tarnel::linux_platform {
namespace {

using namespace requirement;

// The requirement that the helper's information dictionary names for the installing client.
constexpr const char* kAuthorizedClientsRequirement =
    "anchor apple generic and identifier \"com.quorvant.TarnelX8.XPCPrivileged\" and (certificate "
    "leaf[field.1.2.840.113635.100.6.1.9] /* exists */ or certificate "
    "1[field.1.2.840.113635.100.6.2.6] /* exists */ and certificate "
    "leaf[field.1.2.840.113635.100.6.1.13] /* exists */ and certificate leaf[subject.OU] = "
    "K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"8.0\")";

// The shape of the requirement that the helper applies to its clients.
constexpr const char* kClientRequirement =
    "anchor apple generic and (identifier com.quorvant.TarnelX7 or identifier "
    "com.quorvant.TarnelX7.XPCFetch or identifier com.quorvant.Update.updater) and certificate "
    "leaf[subject.OU] = K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"7.0\"";

struct GrammarCase {
  const char* text;
  bool compiles;
};

TEST(RequirementParser, CompilesExactlyTheLanguageItUnderstands) {
  const GrammarCase cases[] = {
      {kAuthorizedClientsRequirement, true},
      {kClientRequirement, true},
      // Each construct on its own.
      {"anchor apple generic", true},
      {"identifier com.quorvant.TarnelX8", true},
      {"identifier = com.quorvant.TarnelX8", true},
      {"identifier \"com.quorvant.TarnelX8\"", true},
      {"identifier \"a name with \\\"quotes\\\" and blanks\"", true},
      {"certificate leaf[subject.CN] = \"Code Signing: Quorvant\"", true},
      {"cert leaf[subject.O] = Quorvant", true},
      {"certificate root[subject.C] = US", true},
      {"certificate 1[subject.ST] exists", true},
      {"certificate -1[subject.L] absent", true},
      {"certificate -2[subject.D] exists", true},
      {"certificate 0[subject.STREET] exists", true},
      {"certificate leaf[field.1.2.840.113635.100.6.1.13]", true},
      {"certificate leaf[extension.2.5.29.37] exists", true},
      {"certificate leaf[\"subject.OU\"] = K3VQ8ZT2MN", true},
      {"info [CFBundleShortVersionString] < \"7.0\"", true},
      {"info [CFBundleShortVersionString] > \"7.0\"", true},
      {"info [CFBundleShortVersionString] <= \"7.0\"", true},
      {"info [CFBundleShortVersionString] >= \"7.0\"", true},
      {"info [CFBundleIdentifier] = \"com.quorvant.\"*", true},
      {"info [CFBundleIdentifier] = *TarnelX8", true},
      {"info [CFBundleIdentifier] = *Tarnel*", true},
      {"info [\"key with blanks\"] = \"7.0\"*", true},
      {"info[CFBundleName]", true},
      {"true and !false", true},
      {"!!(true)", true},
      {"((anchor apple generic)) or false", true},
      // Comments of the three kinds, anywhere between tokens.
      {"anchor /* inner */ apple generic", true},
      {"anchor apple generic // to the end of the line\n and true", true},
      {"# a whole line\nanchor apple generic", true},
      {"anchor apple generic # trailing", true},
      // Text the compiler does not understand.
      {"", false},
      {"   /* only a comment */  ", false},
      {"anchor apple", false},
      {"anchor trusted", false},
      {"anchor apple generic and", false},
      {"and anchor apple generic", false},
      {"anchor apple generic or or true", false},
      {"anchor apple generic true", false},
      {"identifier", false},
      {"identifier and", false},
      {"identifier com..quorvant", false},
      {"identifier com.quorvant.", false},
      {"info [CFBundleIdentifier] = com.quorvant.*", false},
      {"identifier \"unterminated", false},
      {"info [CFBundleShortVersionString] >= 7.0", false},
      {"info [CFBundleShortVersionString] >=", false},
      {"info CFBundleShortVersionString", false},
      {"info [CFBundleShortVersionString", false},
      {"info [CFBundleShortVersionString] >= *\"7.0\"", false},
      {"certificate leaf[subject.XX] exists", false},
      {"certificate leaf[subject] exists", false},
      {"certificate leaf[field.1.2.x] exists", false},
      {"certificate leaf[field.] exists", false},
      {"certificate leaf[issuer.CN] exists", false},
      {"certificate middle[subject.CN] exists", false},
      {"certificate leaf = H\"0123\"", false},
      {"certificate 99999999999999999999[subject.CN]", false},
      {"entitlement [\"com.example\"] exists", false},
      {"cdhash H\"0123\"", false},
      {"anchor apple generic /* unterminated", false},
      {"(anchor apple generic", false},
      {"anchor apple generic)", false},
      {"!", false},
      {"anchor apple generic & true", false},
      {"identifier com.quorvant.TarnelX8 / true", false},
  };
  for (const auto& [text, compiles] : cases) {
    SCOPED_TRACE(text);
    const auto parsed = parseRequirement(text);
    EXPECT_EQ(parsed.has_value(), compiles) << (parsed ? "" : describe(parsed.error()));
  }
}

TEST(RequirementParser, BindsOrLooserThanAndAndNotTightest) {
  const auto parsed = parseRequirement("!true or false and true");
  ASSERT_TRUE(parsed.has_value());
  const auto* disjunction = std::get_if<Junction>(&parsed->node);
  ASSERT_NE(disjunction, nullptr);
  EXPECT_EQ(disjunction->kind, Junction::Kind::disjunction);
  ASSERT_EQ(disjunction->operands.size(), 2u);
  EXPECT_TRUE(std::holds_alternative<Negation>(disjunction->operands[0].node));
  const auto* conjunction = std::get_if<Junction>(&disjunction->operands[1].node);
  ASSERT_NE(conjunction, nullptr);
  EXPECT_EQ(conjunction->kind, Junction::Kind::conjunction);
}

TEST(RequirementParser, RefusesNestingDeeperThanItsLimit) {
  const auto nested = [](int depth) {
    return std::string(static_cast<std::size_t>(depth), '(') + "true" +
           std::string(static_cast<std::size_t>(depth), ')');
  };
  EXPECT_TRUE(parseRequirement(nested(kMaxRequirementNesting - 1)).has_value());
  EXPECT_FALSE(parseRequirement(nested(kMaxRequirementNesting + 1)).has_value());
  EXPECT_FALSE(parseRequirement(std::string(1000, '!') + "true").has_value());
}

TEST(RequirementParser, RefusesTextsLongerThanItsLimit) {
  const std::string padded = "true" + std::string(kMaxRequirementLength - 4, ' ');
  EXPECT_TRUE(parseRequirement(padded).has_value());
  EXPECT_FALSE(parseRequirement(padded + " ").has_value());
}

TEST(RequirementParser, KeepsALongChainFlat) {
  std::string text = "true";
  for (int i = 0; i < 5000; ++i) text += " or false";
  const auto parsed = parseRequirement(text);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(std::get<Junction>(parsed->node).operands.size(), 5001u);
}

}  // namespace
}  // namespace tarnel::linux_platform
