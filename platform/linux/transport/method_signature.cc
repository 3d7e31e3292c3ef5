#include "platform/linux/transport/method_signature.h"

#include <cctype>
#include <string>
#include <utility>

namespace tarnel::linux_platform {

namespace {

// The classes whose instances a call may carry, and the kind each is on the wire.
constexpr std::pair<std::string_view, ArgumentKind> kClasses[] = {
    {"NSDictionary", ArgumentKind::dictionary}, {"NSArray", ArgumentKind::array},
    {"NSString", ArgumentKind::string},         {"NSData", ArgumentKind::data},
    {"NSNumber", ArgumentKind::number},         {"NSXPCListenerEndpoint", ArgumentKind::endpoint},
};

constexpr std::pair<char, ArgumentKind> kScalars[] = {
    {'B', ArgumentKind::boolean}, {'c', ArgumentKind::integer}, {'C', ArgumentKind::integer},
    {'s', ArgumentKind::integer}, {'S', ArgumentKind::integer}, {'i', ArgumentKind::integer},
    {'I', ArgumentKind::integer}, {'l', ArgumentKind::integer}, {'L', ArgumentKind::integer},
    {'q', ArgumentKind::integer}, {'Q', ArgumentKind::integer}, {'f', ArgumentKind::real},
    {'d', ArgumentKind::real},
};

// Type qualifiers (const, in, inout, out, bycopy, byref, oneway): they change no kind.
constexpr std::string_view kQualifiers = "rnNoORV";

// One type of an encoding.
struct Type {
  enum class Form { voidType, receiver, selector, object, block, scalar };
  Form form = Form::voidType;
  std::optional<ArgumentKind> kind;           // object and scalar
  std::optional<std::string_view> className;  // object
  std::optional<MethodSignature> blockSignature;
};

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool atEnd() const { return text_.empty(); }
  bool peek(char c) const { return !text_.empty() && text_.front() == c; }
  bool take(char c) {
    if (!peek(c)) return false;
    text_.remove_prefix(1);
    return true;
  }
  void skipOffset() {
    while (!text_.empty() && std::isdigit(static_cast<unsigned char>(text_.front()))) {
      text_.remove_prefix(1);
    }
  }

  std::optional<Type> type() {
    while (!text_.empty() && kQualifiers.find(text_.front()) != std::string_view::npos) {
      text_.remove_prefix(1);
    }
    if (text_.empty()) return std::nullopt;
    const char first = text_.front();
    text_.remove_prefix(1);
    if (first == 'v') return Type{.form = Type::Form::voidType};
    if (first == ':') return Type{.form = Type::Form::selector};
    if (first == '@') return objectType();
    for (const auto& [code, kind] : kScalars) {
      if (code == first) return Type{.form = Type::Form::scalar, .kind = kind};
    }
    return std::nullopt;
  }

  // A block's own signature: `<v@?` then its arguments, then `>`.
  std::optional<MethodSignature> blockSignature() {
    const auto returned = type();
    if (!returned || returned->form != Type::Form::voidType) return std::nullopt;
    skipOffset();
    const auto self = type();
    if (!self || self->form != Type::Form::block || self->blockSignature) return std::nullopt;
    skipOffset();
    MethodSignature signature{.reply = std::vector<ArgumentKind>{}};
    while (!take('>')) {
      const auto argument = type();
      if (!argument || !argument->kind) return std::nullopt;
      signature.arguments.push_back(*argument->kind);
      skipOffset();
    }
    return signature;
  }

 private:
  std::optional<Type> objectType() {
    if (take('?')) {
      Type block{.form = Type::Form::block};
      if (take('<')) {
        block.blockSignature = blockSignature();
        if (!block.blockSignature) return std::nullopt;
      }
      return block;
    }
    if (!take('"')) return Type{.form = Type::Form::receiver};
    const auto end = text_.find('"');
    if (end == std::string_view::npos) return std::nullopt;
    const auto name = text_.substr(0, end);
    text_.remove_prefix(end + 1);
    for (const auto& [className, kind] : kClasses) {
      if (className == name)
        return Type{.form = Type::Form::object, .kind = kind, .className = name};
    }
    return std::nullopt;
  }

  std::string_view text_;
};

}  // namespace

std::optional<MethodSignature> parseMethodSignature(std::string_view typeEncoding) {
  Reader reader(typeEncoding);
  const auto returned = reader.type();
  if (!returned || returned->form != Type::Form::voidType) return std::nullopt;
  reader.skipOffset();
  const auto receiver = reader.type();
  if (!receiver || receiver->form != Type::Form::receiver) return std::nullopt;
  reader.skipOffset();
  const auto selector = reader.type();
  if (!selector || selector->form != Type::Form::selector) return std::nullopt;
  reader.skipOffset();

  MethodSignature signature;
  while (!reader.atEnd()) {
    if (signature.reply) return std::nullopt;  // the reply block comes last
    const auto argument = reader.type();
    if (!argument) return std::nullopt;
    reader.skipOffset();
    if (argument->form == Type::Form::block) {
      if (!argument->blockSignature) return std::nullopt;  // a block whose arguments are unknown
      signature.reply = std::move(argument->blockSignature->arguments);
      continue;
    }
    if (!argument->kind || *argument->kind == ArgumentKind::endpoint) {
      // Endpoints travel only in replies.
      return std::nullopt;
    }
    signature.arguments.push_back(*argument->kind);
  }
  return signature;
}

bool valueIsOfKind(const Value& value, ArgumentKind kind) {
  switch (kind) {
    case ArgumentKind::dictionary:
      return value.is<Dictionary>();
    case ArgumentKind::array:
      return value.is<Array>();
    case ArgumentKind::string:
      return value.is<std::string>();
    case ArgumentKind::data:
      return value.is<Bytes>();
    case ArgumentKind::number:
      return value.is<std::int64_t>() || value.is<double>() || value.is<bool>();
    case ArgumentKind::boolean:
      return value.is<bool>();
    case ArgumentKind::integer:
      return value.is<std::int64_t>();
    case ArgumentKind::real:
      return value.is<double>();
    case ArgumentKind::endpoint:
      return false;
  }
  return false;
}

bool argumentsMatch(std::span<const Value> arguments, std::span<const ArgumentKind> kinds) {
  if (arguments.size() != kinds.size()) return false;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (!valueIsOfKind(arguments[i], kinds[i])) return false;
  }
  return true;
}

}  // namespace tarnel::linux_platform
