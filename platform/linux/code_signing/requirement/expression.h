// A compiled requirement: the expression tree that the requirement parser builds and the
// requirement evaluator judges.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tarnel::linux_platform::requirement {

// How a value found in the signature is compared with the value the requirement gives.
struct Match {
  enum class Operation { exists, absent, equal, less, greater, lessOrEqual, greaterOrEqual };
  Operation operation = Operation::exists;
  std::string value;       // empty for exists and absent
  bool anyPrefix = false;  // `= *value`: the found value need only end with `value`
  bool anySuffix = false;  // `= value*`: the found value need only begin with `value`
};

struct Constant {
  bool value;
};

// `anchor apple generic`: the signature chains to one of the platform's trust anchors.
struct AnchorAppleGeneric {};

struct Identifier {
  std::string value;
};

// `certificate SLOT[KEY] MATCH`. Slot 0 is the leaf; a positive slot counts up from the leaf, a
// negative one down from the anchor (-1 is the anchor itself).
struct CertificateField {
  enum class Source { subject, extension };
  std::int64_t slot = 0;
  Source source = Source::subject;
  std::string key;  // a subject key of the language ("CN", "OU", ...) or a dotted OID
  Match match;
};

// `info [KEY] MATCH`: an entry of the bound information dictionary.
struct InfoField {
  std::string key;
  Match match;
};

struct Expression;

struct Negation {
  std::unique_ptr<Expression> operand;
};

// A chain of `and` or of `or` is kept flat, so that a long chain nests no deeper than one.
struct Junction {
  enum class Kind { conjunction, disjunction };
  Kind kind;
  std::vector<Expression> operands;  // two or more
};

struct Expression {
  std::variant<Constant, AnchorAppleGeneric, Identifier, CertificateField, InfoField, Negation,
               Junction>
      node;
};

}  // namespace tarnel::linux_platform::requirement
