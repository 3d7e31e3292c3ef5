#include "platform/linux/code_signing/requirement/evaluator.h"

#include <algorithm>
#include <optional>

namespace tarnel::linux_platform {

namespace {

using namespace requirement;
using Operation = Match::Operation;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A value that is present, with its text when it has one that can be compared.
struct Found {
  std::optional<std::string_view> text;
};

bool matchesText(const Match& match, std::string_view text) {
  switch (match.operation) {
    case Operation::exists:
      return true;
    case Operation::absent:
      return false;
    case Operation::equal:
      if (match.anyPrefix && match.anySuffix)
        return text.find(match.value) != std::string_view::npos;
      if (match.anyPrefix) return text.ends_with(match.value);
      if (match.anySuffix) return text.starts_with(match.value);
      return text == match.value;
    case Operation::less:
      return compareNumerically(text, match.value) < 0;
    case Operation::greater:
      return compareNumerically(text, match.value) > 0;
    case Operation::lessOrEqual:
      return compareNumerically(text, match.value) <= 0;
    case Operation::greaterOrEqual:
      return compareNumerically(text, match.value) >= 0;
  }
  return false;
}

// Every value found under a key: `absent` holds when there is none, any other match when one of
// them satisfies it.
bool matches(const Match& match, const std::vector<Found>& found) {
  if (match.operation == Operation::absent) return found.empty();
  if (match.operation == Operation::exists) return !found.empty();
  return std::ranges::any_of(
      found, [&](const Found& one) { return one.text && matchesText(match, *one.text); });
}

const CertificateFields* certificateAt(std::int64_t slot, const RequirementContext& context) {
  const auto size = static_cast<std::int64_t>(context.chain.size());
  const std::int64_t index = slot >= 0 ? slot : size + slot;
  if (index < 0 || index >= size) return nullptr;
  return &context.chain[static_cast<std::size_t>(index)];
}

bool evaluateCertificate(const CertificateField& field, const RequirementContext& context) {
  const CertificateFields* certificate = certificateAt(field.slot, context);
  if (!certificate) return false;
  std::vector<Found> found;
  if (field.source == CertificateField::Source::subject) {
    for (const auto& [key, value] : certificate->subject) {
      if (key == field.key) found.push_back({value});
    }
  } else {
    for (const auto& extension : certificate->extensions) {
      if (extension.oid != field.key) continue;
      found.push_back(
          {extension.text ? std::optional<std::string_view>(*extension.text) : std::nullopt});
    }
  }
  return matches(field.match, found);
}

bool evaluateInfo(const InfoField& field, const RequirementContext& context) {
  std::vector<Found> found;
  if (const Value* value = context.info.find(field.key)) {
    const auto* text = value->get<std::string>();
    found.push_back({text ? std::optional<std::string_view>(*text) : std::nullopt});
  }
  return matches(field.match, found);
}

bool evaluate(const Expression& expression, const RequirementContext& context) {
  return std::visit(
      [&](const auto& node) -> bool {
        using Node = std::decay_t<decltype(node)>;
        if constexpr (std::is_same_v<Node, Constant>) {
          return node.value;
        } else if constexpr (std::is_same_v<Node, AnchorAppleGeneric>) {
          return context.anchored;
        } else if constexpr (std::is_same_v<Node, Identifier>) {
          return context.identifier == node.value;
        } else if constexpr (std::is_same_v<Node, CertificateField>) {
          return evaluateCertificate(node, context);
        } else if constexpr (std::is_same_v<Node, InfoField>) {
          return evaluateInfo(node, context);
        } else if constexpr (std::is_same_v<Node, Negation>) {
          return !evaluate(*node.operand, context);
        } else {
          const auto holds = [&](const Expression& operand) { return evaluate(operand, context); };
          return node.kind == Junction::Kind::conjunction
                     ? std::ranges::all_of(node.operands, holds)
                     : std::ranges::any_of(node.operands, holds);
        }
      },
      expression.node);
}

}  // namespace

bool evaluateRequirement(const Expression& expression, const RequirementContext& context) {
  return evaluate(expression, context);
}

int compareNumerically(std::string_view left, std::string_view right) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < left.size() && j < right.size()) {
    if (isDigit(left[i]) && isDigit(right[j])) {
      while (i < left.size() && left[i] == '0') ++i;
      while (j < right.size() && right[j] == '0') ++j;
      const std::size_t leftStart = i;
      const std::size_t rightStart = j;
      while (i < left.size() && isDigit(left[i])) ++i;
      while (j < right.size() && isDigit(right[j])) ++j;
      const auto leftDigits = left.substr(leftStart, i - leftStart);
      const auto rightDigits = right.substr(rightStart, j - rightStart);
      // Without leading zeros, the longer run of digits is the larger number.
      if (leftDigits.size() != rightDigits.size()) {
        return leftDigits.size() < rightDigits.size() ? -1 : 1;
      }
      if (const int order = leftDigits.compare(rightDigits); order != 0) return order < 0 ? -1 : 1;
      continue;
    }
    if (left[i] != right[j]) {
      return static_cast<unsigned char>(left[i]) < static_cast<unsigned char>(right[j]) ? -1 : 1;
    }
    ++i;
    ++j;
  }
  return (i < left.size()) - (j < right.size());
}

}  // namespace tarnel::linux_platform
