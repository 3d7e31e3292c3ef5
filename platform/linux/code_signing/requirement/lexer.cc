#include "platform/linux/code_signing/requirement/lexer.h"

#include <charconv>

namespace tarnel::linux_platform {

namespace {

using Kind = RequirementToken::Kind;
using Error = RequirementError::Kind;

bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNamePart(char c) { return isNameStart(c) || isDigit(c); }
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::unexpected<RequirementError> error(RequirementError::Kind kind, std::size_t offset,
                                        std::string subject = {}) {
  return std::unexpected(RequirementError{kind, offset, std::move(subject)});
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::expected<std::vector<RequirementToken>, RequirementError> run() {
    std::vector<RequirementToken> tokens;
    while (true) {
      if (auto skipped = skipBlanksAndComments(); !skipped) return std::unexpected(skipped.error());
      if (pos_ == text_.size()) break;
      auto token = next();
      if (!token) return std::unexpected(token.error());
      tokens.push_back(std::move(*token));
    }
    tokens.push_back({.kind = Kind::end, .offset = pos_});
    return tokens;
  }

 private:
  std::expected<void, RequirementError> skipBlanksAndComments() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (isBlank(c)) {
        ++pos_;
      } else if (c == '#' || text_.substr(pos_).starts_with("//")) {
        const auto lineEnd = text_.find('\n', pos_);
        pos_ = lineEnd == std::string_view::npos ? text_.size() : lineEnd + 1;
      } else if (text_.substr(pos_).starts_with("/*")) {
        const auto close = text_.find("*/", pos_ + 2);
        if (close == std::string_view::npos) return error(Error::unterminatedComment, pos_);
        pos_ = close + 2;
      } else {
        break;
      }
    }
    return {};
  }

  std::expected<RequirementToken, RequirementError> next() {
    const std::size_t start = pos_;
    const char c = text_[pos_];
    const auto punctuation = [&](Kind kind, std::size_t length) {
      pos_ += length;
      return RequirementToken{.kind = kind, .offset = start};
    };
    switch (c) {
      case '(':
        return punctuation(Kind::leftParen, 1);
      case ')':
        return punctuation(Kind::rightParen, 1);
      case '[':
        return punctuation(Kind::leftBracket, 1);
      case ']':
        return punctuation(Kind::rightBracket, 1);
      case '!':
        return punctuation(Kind::bang, 1);
      case '*':
        return punctuation(Kind::star, 1);
      case '=':
        return punctuation(Kind::equal, 1);
      case '<':
        return peek(1) == '=' ? punctuation(Kind::lessOrEqual, 2) : punctuation(Kind::less, 1);
      case '>':
        return peek(1) == '=' ? punctuation(Kind::greaterOrEqual, 2)
                              : punctuation(Kind::greater, 1);
      case '"':
        return quoted();
      default:
        break;
    }
    if (isDigit(c) || (c == '-' && isDigit(peek(1)))) return integer();
    if (isNameStart(c)) return word();
    return error(Error::unexpectedCharacter, start, std::string(1, c));
  }

  char peek(std::size_t ahead) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }

  std::expected<RequirementToken, RequirementError> quoted() {
    const std::size_t start = pos_++;
    std::string contents;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      if (text_[pos_] == '\\') {
        if (++pos_ == text_.size()) break;
      }
      contents.push_back(text_[pos_++]);
    }
    if (pos_ == text_.size()) return error(Error::unterminatedString, start);
    ++pos_;
    return RequirementToken{.kind = Kind::string, .text = std::move(contents), .offset = start};
  }

  std::expected<RequirementToken, RequirementError> integer() {
    const std::size_t start = pos_;
    if (text_[pos_] == '-') ++pos_;
    while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
    // "7.0" and "1abc" are neither numbers nor names: values like them must be quoted.
    if (pos_ < text_.size() && (isNamePart(text_[pos_]) || text_[pos_] == '.')) {
      return error(Error::unquotedValue, start);
    }
    std::int64_t value = 0;
    const auto [end, outcome] = std::from_chars(text_.data() + start, text_.data() + pos_, value);
    if (outcome != std::errc() || end != text_.data() + pos_) {
      return error(Error::numberOutOfRange, start);
    }
    return RequirementToken{.kind = Kind::integer, .integer = value, .offset = start};
  }

  std::expected<RequirementToken, RequirementError> word() {
    const std::size_t start = pos_;
    while (pos_ < text_.size()) {
      if (isNamePart(text_[pos_])) {
        ++pos_;
      } else if (text_[pos_] == '.' && isNamePart(peek(1))) {
        pos_ += 2;
      } else {
        break;
      }
    }
    if (pos_ < text_.size() && text_[pos_] == '.') {
      return error(Error::emptyNamePart, pos_);
    }
    return RequirementToken{.kind = Kind::word,
                            .text = std::string(text_.substr(start, pos_ - start)),
                            .offset = start};
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::expected<std::vector<RequirementToken>, RequirementError> tokenizeRequirement(
    std::string_view text) {
  if (text.size() > kMaxRequirementLength) return error(Error::tooLong, 0);
  return Lexer(text).run();
}

}  // namespace tarnel::linux_platform
