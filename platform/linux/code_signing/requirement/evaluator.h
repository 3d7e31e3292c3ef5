// Judges a compiled requirement against what a validated signature established: the signing
// identifier, the verified certificate chain and the bound information dictionary.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"
#include "platform/linux/code_signing/requirement/certificate_fields.h"
#include "platform/linux/code_signing/requirement/expression.h"

namespace tarnel::linux_platform {

struct RequirementContext {
  bool anchored = false;  // the chain ends at one of the platform's trust anchors
  std::string identifier;
  std::vector<CertificateFields> chain;  // the leaf first, the anchor last
  Dictionary info;
};

bool evaluateRequirement(const requirement::Expression& expression,
                         const RequirementContext& context);

// Compares two strings as the platform compares versions: runs of digits by their numeric
// value ("10.0" > "7.0"), everything else character by character. Negative, zero or positive.
int compareNumerically(std::string_view left, std::string_view right);

}  // namespace tarnel::linux_platform
