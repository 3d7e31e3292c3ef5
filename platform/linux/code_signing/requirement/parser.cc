#include "platform/linux/code_signing/requirement/parser.h"

#include <utility>
#include <vector>

#include "platform/linux/code_signing/requirement/certificate_fields.h"
#include "platform/linux/code_signing/requirement/lexer.h"

namespace tarnel::linux_platform {

namespace {

using namespace requirement;
using Kind = RequirementToken::Kind;

// Words that the grammar gives a meaning; none of them is taken as a bare value.
constexpr std::string_view kReservedWords[] = {
    "and",  "or",     "anchor", "apple", "generic", "identifier", "certificate", "cert",
    "info", "exists", "absent", "leaf",  "root",    "true",       "false",
};

bool isReserved(std::string_view word) {
  for (const auto reserved : kReservedWords) {
    if (word == reserved) return true;
  }
  return false;
}

bool isDottedOid(std::string_view text) {
  if (text.empty()) return false;
  bool partStarted = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      partStarted = true;
    } else if (c == '.' && partStarted) {
      partStarted = false;
    } else {
      return false;
    }
  }
  return partStarted;
}

using Parsed = std::expected<Expression, RequirementError>;
using Error = RequirementError::Kind;

Expression node(auto value) { return Expression{std::move(value)}; }

class Parser {
 public:
  explicit Parser(std::vector<RequirementToken> tokens) : tokens_(std::move(tokens)) {}

  Parsed run() {
    auto expression = disjunction(0);
    if (!expression) return expression;
    if (current().kind != Kind::end) return error(Error::textAfterRequirement);
    return expression;
  }

 private:
  const RequirementToken& current() const { return tokens_[pos_]; }
  bool atWord(std::string_view word) const {
    return current().kind == Kind::word && current().text == word;
  }
  std::unexpected<RequirementError> error(Error kind, std::string subject = {}) const {
    return std::unexpected(RequirementError{kind, current().offset, std::move(subject)});
  }
  std::expected<void, RequirementError> expectWord(std::string_view word) {
    if (!atWord(word)) return error(Error::expectedWord, std::string(word));
    ++pos_;
    return {};
  }
  std::expected<void, RequirementError> expect(Kind kind, std::string_view what) {
    if (current().kind != kind) return error(Error::expected, std::string(what));
    ++pos_;
    return {};
  }

  // `or` binds looser than `and`, which binds looser than `!`.
  Parsed disjunction(int depth) { return junction(Junction::Kind::disjunction, "or", depth); }
  Parsed conjunction(int depth) { return junction(Junction::Kind::conjunction, "and", depth); }

  Parsed junction(Junction::Kind kind, std::string_view word, int depth) {
    const auto operand = [&] {
      return kind == Junction::Kind::disjunction ? conjunction(depth) : unary(depth);
    };
    auto first = operand();
    if (!first || !atWord(word)) return first;
    Junction junction{kind, {}};
    junction.operands.push_back(std::move(*first));
    while (atWord(word)) {
      ++pos_;
      auto next = operand();
      if (!next) return next;
      junction.operands.push_back(std::move(*next));
    }
    return node(std::move(junction));
  }

  Parsed unary(int depth) {
    if (depth >= kMaxRequirementNesting) return error(Error::nestedTooDeeply);
    if (current().kind == Kind::bang) {
      ++pos_;
      auto operand = unary(depth + 1);
      if (!operand) return operand;
      return node(Negation{std::make_unique<Expression>(std::move(*operand))});
    }
    if (current().kind == Kind::leftParen) {
      ++pos_;
      auto inner = disjunction(depth + 1);
      if (!inner) return inner;
      if (auto closed = expect(Kind::rightParen, "')'"); !closed)
        return std::unexpected(closed.error());
      return inner;
    }
    return primary();
  }

  Parsed primary() {
    if (current().kind != Kind::word) return error(Error::expectedRequirement);
    const std::string word = current().text;
    ++pos_;
    if (word == "true" || word == "false") return node(Constant{word == "true"});
    if (word == "anchor") return anchor();
    if (word == "identifier") return identifier();
    if (word == "certificate" || word == "cert") return certificate();
    if (word == "info") return info();
    --pos_;
    return error(Error::unknownRequirement, word);
  }

  Parsed anchor() {
    if (auto apple = expectWord("apple"); !apple) return std::unexpected(apple.error());
    if (auto generic = expectWord("generic"); !generic) return std::unexpected(generic.error());
    return node(AnchorAppleGeneric{});
  }

  Parsed identifier() {
    if (current().kind == Kind::equal) ++pos_;
    auto value = this->value();
    if (!value) return std::unexpected(value.error());
    return node(Identifier{std::move(*value)});
  }

  Parsed certificate() {
    CertificateField field;
    if (atWord("leaf")) {
      field.slot = 0;
    } else if (atWord("root")) {
      field.slot = -1;
    } else if (current().kind == Kind::integer) {
      field.slot = current().integer;
    } else {
      return error(Error::expectedCertificateSlot);
    }
    ++pos_;
    auto key = bracketedKey();
    if (!key) return std::unexpected(key.error());
    if (key->starts_with("subject.") && isSubjectKey(key->substr(8))) {
      field.source = CertificateField::Source::subject;
      field.key = key->substr(8);
    } else if (key->starts_with("field.") && isDottedOid(key->substr(6))) {
      field.source = CertificateField::Source::extension;
      field.key = key->substr(6);
    } else if (key->starts_with("extension.") && isDottedOid(key->substr(10))) {
      field.source = CertificateField::Source::extension;
      field.key = key->substr(10);
    } else {
      return error(Error::unknownCertificateKey, *key);
    }
    auto match = this->match();
    if (!match) return std::unexpected(match.error());
    field.match = std::move(*match);
    return node(std::move(field));
  }

  Parsed info() {
    auto key = bracketedKey();
    if (!key) return std::unexpected(key.error());
    auto match = this->match();
    if (!match) return std::unexpected(match.error());
    return node(InfoField{std::move(*key), std::move(*match)});
  }

  std::expected<std::string, RequirementError> bracketedKey() {
    if (auto open = expect(Kind::leftBracket, "'['"); !open) return std::unexpected(open.error());
    auto key = value();
    if (!key) return key;
    if (auto close = expect(Kind::rightBracket, "']'"); !close)
      return std::unexpected(close.error());
    return key;
  }

  // A missing match means `exists`, as in `certificate leaf[field.OID]`.
  std::expected<Match, RequirementError> match() {
    using Operation = Match::Operation;
    Match match;
    const auto compared = [&](Operation operation) -> std::expected<Match, RequirementError> {
      ++pos_;
      auto value = this->value();
      if (!value) return std::unexpected(value.error());
      return Match{.operation = operation, .value = std::move(*value)};
    };
    switch (current().kind) {
      case Kind::less:
        return compared(Operation::less);
      case Kind::greater:
        return compared(Operation::greater);
      case Kind::lessOrEqual:
        return compared(Operation::lessOrEqual);
      case Kind::greaterOrEqual:
        return compared(Operation::greaterOrEqual);
      case Kind::equal: {
        ++pos_;
        match.operation = Operation::equal;
        if (current().kind == Kind::star) {
          match.anyPrefix = true;
          ++pos_;
        }
        auto value = this->value();
        if (!value) return std::unexpected(value.error());
        match.value = std::move(*value);
        if (current().kind == Kind::star) {
          match.anySuffix = true;
          ++pos_;
        }
        return match;
      }
      default:
        break;
    }
    if (atWord("exists")) {
      ++pos_;
    } else if (atWord("absent")) {
      ++pos_;
      match.operation = Operation::absent;
    }
    return match;
  }

  std::expected<std::string, RequirementError> value() {
    const auto& token = current();
    if (token.kind == Kind::string || (token.kind == Kind::word && !isReserved(token.text))) {
      ++pos_;
      return token.text;
    }
    return error(Error::expectedValue);
  }

  std::vector<RequirementToken> tokens_;
  std::size_t pos_ = 0;
};

}  // namespace

std::expected<Expression, RequirementError> parseRequirement(std::string_view text) {
  auto tokens = tokenizeRequirement(text);
  if (!tokens) return std::unexpected(tokens.error());
  return Parser(std::move(*tokens)).run();
}

}  // namespace tarnel::linux_platform
