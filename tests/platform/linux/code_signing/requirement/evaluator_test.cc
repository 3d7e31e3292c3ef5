// Judging compiled requirements against what a signature established: numeric-aware version
// comparison, certificate slots counted from either end, wildcards, and the helper's own
// requirements against the clients they are meant to admit and refuse.
#include "platform/linux/code_signing/requirement/evaluator.h"

#include <gtest/gtest.h>

#include "platform/linux/code_signing/requirement/parser.h"

namespace tarnel::linux_platform {
namespace {

constexpr const char* kMarkerLeaf = "1.2.840.113635.100.6.1.13";
constexpr const char* kMarkerIntermediate = "1.2.840.113635.100.6.2.6";

// A chain as the test identity makes it: leaf, intermediate, root.
RequirementContext teamContext(const std::string& version) {
  RequirementContext context;
  context.anchored = true;
  context.identifier = "com.quorvant.TarnelX8.XPCPrivileged";
  context.chain = {
      {.subject = {{"CN", "Code Signing: Quorvant (K3VQ8ZT2MN)"},
                   {"OU", "K3VQ8ZT2MN"},
                   {"O", "Quorvant"},
                   {"C", "US"}},
       .extensions = {{"2.5.29.37", std::nullopt},
                      {kMarkerLeaf, std::nullopt},
                      {"1.2.3.4", std::string("text value")}}},
      {.subject = {{"CN", "Tarnel Test Code Signing CA"}, {"O", "Tarnel Test"}},
       .extensions = {{kMarkerIntermediate, std::nullopt}}},
      {.subject = {{"CN", "Tarnel Test Root CA"}, {"O", "Tarnel Test"}}, .extensions = {}},
  };
  context.info = Dictionary{{"CFBundleShortVersionString", version},
                            {"CFBundleIdentifier", "com.quorvant.TarnelX8"},
                            {"CFBundleVersion", 423}};
  return context;
}

bool holds(const std::string& text, const RequirementContext& context) {
  const auto parsed = parseRequirement(text);
  if (!parsed) {
    ADD_FAILURE() << text << ": " << describe(parsed.error());
    return false;
  }
  return evaluateRequirement(*parsed, context);
}

TEST(RequirementEvaluator, ComparesVersionsByTheirNumbers) {
  struct Case {
    const char* left;
    const char* right;
    int order;
  };
  const Case cases[] = {
      {"10.0", "7.0", 1},
      {"6.9", "7.0", -1},
      {"7.0", "7.0", 0},
      {"7.10", "7.9", 1},
      {"007.0", "7.0", 0},
      {"7.0.1", "7.0", 1},
      {"7", "7.0", -1},
      {"", "7.0", -1},
      {"7.0a", "7.0b", -1},
      {"b", "a", 1},
      {"99999999999999999999999", "1", 1},
  };
  for (const auto& [left, right, order] : cases) {
    SCOPED_TRACE(std::string(left) + " vs " + right);
    EXPECT_EQ(compareNumerically(left, right), order);
    EXPECT_EQ(compareNumerically(right, left), -order);
  }
}

TEST(RequirementEvaluator, JudgesEachConstructAgainstTheSignature) {
  const auto context = teamContext("8.0");
  const std::pair<const char*, bool> cases[] = {
      {"anchor apple generic", true},
      {"identifier com.quorvant.TarnelX8.XPCPrivileged", true},
      {"identifier = \"com.quorvant.TarnelX8.XPCPrivileged\"", true},
      {"identifier com.quorvant.TarnelX8", false},
      // Slots: from the leaf upwards, from the anchor downwards, and beyond either end.
      {"certificate leaf[subject.OU] = K3VQ8ZT2MN", true},
      {"certificate 0[subject.OU] = K3VQ8ZT2MN", true},
      {"certificate 1[subject.CN] = \"Tarnel Test Code Signing CA\"", true},
      {"certificate 2[subject.CN] = \"Tarnel Test Root CA\"", true},
      {"certificate root[subject.CN] = \"Tarnel Test Root CA\"", true},
      {"certificate -1[subject.CN] = \"Tarnel Test Root CA\"", true},
      {"certificate -2[subject.CN] = \"Tarnel Test Code Signing CA\"", true},
      {"certificate -3[subject.OU] = K3VQ8ZT2MN", true},
      {"certificate 3[subject.CN] absent", false},
      {"certificate -4[subject.CN] absent", false},
      {"certificate 3[subject.CN] exists", false},
      // Keys.
      {"certificate leaf[subject.O] = Quorvant", true},
      {"certificate leaf[subject.C] = US", true},
      {"certificate leaf[subject.L] exists", false},
      {"certificate leaf[subject.L] absent", true},
      {"certificate leaf[field.1.2.840.113635.100.6.1.13]", true},
      {"certificate leaf[field.1.2.840.113635.100.6.1.9] /* exists */", false},
      {"certificate leaf[field.1.2.840.113635.100.6.1.9] absent", true},
      {"certificate 1[extension.1.2.840.113635.100.6.2.6] exists", true},
      {"certificate leaf[field.1.2.840.113635.100.6.2.6] exists", false},
      {"certificate leaf[field.1.2.3.4] = \"text value\"", true},
      {"certificate leaf[field.1.2.840.113635.100.6.1.13] = \"\"", false},
      // Wildcards at either end.
      {"certificate leaf[subject.CN] = \"Code Signing:\"*", true},
      {"certificate leaf[subject.CN] = *\"(K3VQ8ZT2MN)\"", true},
      {"certificate leaf[subject.CN] = *Quorvant*", true},
      {"certificate leaf[subject.CN] = *Other*", false},
      {"certificate leaf[subject.CN] = \"Code Signing:\"", false},
      // The information dictionary, compared as versions.
      {"info [CFBundleShortVersionString] >= \"7.0\"", true},
      {"info [CFBundleShortVersionString] >= \"8.0\"", true},
      {"info [CFBundleShortVersionString] > \"8.0\"", false},
      {"info [CFBundleShortVersionString] < \"10.0\"", true},
      {"info [CFBundleShortVersionString] <= \"7.9\"", false},
      {"info [CFBundleShortVersionString] = \"8.0\"", true},
      {"info [CFBundleIdentifier] = \"com.quorvant.\"*", true},
      {"info [CFBundleMissing] absent", true},
      {"info [CFBundleMissing] exists", false},
      {"info [CFBundleMissing] >= \"0\"", false},
      {"info [CFBundleVersion] exists", true},
      {"info [CFBundleVersion] = \"423\"", false},
      // Logic.
      {"true or false and false", true},
      {"(true or false) and false", false},
      {"!true or true", true},
      {"!(true or true)", false},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(holds(text, context), expected);
  }
}

TEST(RequirementEvaluator, AnchorHoldsOnlyForAChainToATrustAnchor) {
  auto context = teamContext("8.0");
  context.anchored = false;
  EXPECT_FALSE(holds("anchor apple generic", context));
}

TEST(RequirementEvaluator, AuthorizedClientsRequirementWantsTheMarkersAndVersionEight) {
  const std::string requirement =
      "anchor apple generic and identifier \"com.quorvant.TarnelX8.XPCPrivileged\" and "
      "(certificate leaf[field.1.2.840.113635.100.6.1.9] /* exists */ or certificate "
      "1[field.1.2.840.113635.100.6.2.6] /* exists */ and certificate "
      "leaf[field.1.2.840.113635.100.6.1.13] /* exists */ and certificate leaf[subject.OU] = "
      "K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"8.0\")";
  EXPECT_TRUE(holds(requirement, teamContext("8.0")));
  EXPECT_TRUE(holds(requirement, teamContext("10.0")));
  EXPECT_FALSE(holds(requirement, teamContext("7.0")));

  auto withoutIntermediateMarker = teamContext("8.0");
  withoutIntermediateMarker.chain[1].extensions.clear();
  EXPECT_FALSE(holds(requirement, withoutIntermediateMarker));

  // The first alternative, a certificate marked as the vendor's own, needs no more.
  auto vendorSigned = teamContext("1.0");
  vendorSigned.chain[0].extensions.push_back({"1.2.840.113635.100.6.1.9", std::nullopt});
  EXPECT_TRUE(holds(requirement, vendorSigned));
}

}  // namespace
}  // namespace tarnel::linux_platform
