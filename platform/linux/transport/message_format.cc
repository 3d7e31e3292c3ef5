#include "platform/linux/transport/message_format.h"

#include <variant>

#include "model/request_values.h"

namespace tarnel::linux_platform {

namespace {

void appendText(Bytes& out, std::string_view text) {
  appendCborHead(out, 3, text.size());
  out.insert(out.end(), text.begin(), text.end());
}

void appendValue(Bytes& out, const Value& value) {
  const auto encoded = encodeCbor(value);
  out.insert(out.end(), encoded.begin(), encoded.end());
}

// The map's values under exactly `keys`, in the order of `keys`; nothing when the map holds any
// other key or lacks one.
template <std::size_t N>
std::optional<std::array<const Value*, N>> exactly(const Value& message,
                                                   const std::array<std::string_view, N>& keys) {
  const auto* map = message.get<Dictionary>();
  if (map == nullptr || map->size() != N) return std::nullopt;
  std::array<const Value*, N> values{};
  for (std::size_t i = 0; i < N; ++i) {
    values[i] = map->find(keys[i]);
    if (values[i] == nullptr) return std::nullopt;
  }
  return values;
}

std::optional<std::uint64_t> messageId(const Value& value) {
  const auto* id = value.get<std::int64_t>();
  if (id == nullptr || *id < 0) return std::nullopt;
  return static_cast<std::uint64_t>(*id);
}

}  // namespace

// Everything of a call up to its arguments' items.
Bytes callHead(std::uint64_t id, std::string_view selector, std::size_t argumentCount) {
  Bytes out;
  appendCborHead(out, 5, 3);
  appendText(out, "call");
  appendCborHead(out, 0, id);
  appendText(out, "selector");
  appendText(out, selector);
  appendText(out, "arguments");
  appendCborHead(out, 4, argumentCount);
  return out;
}

Bytes encodeCall(const CallMessage& call) {
  Bytes out = callHead(call.id, call.selector, call.arguments.size());
  for (const auto& argument : call.arguments) appendValue(out, argument);
  return out;
}

Bytes encodeCallWithEncodedArguments(std::uint64_t id, std::string_view selector,
                                     std::span<const Bytes> encodedArguments) {
  Bytes out = callHead(id, selector, encodedArguments.size());
  for (const auto& argument : encodedArguments)
    out.insert(out.end(), argument.begin(), argument.end());
  return out;
}

std::expected<CallMessage, MessageError> decodeCall(std::span<const std::uint8_t> payload) {
  auto message = decodeCbor(payload);
  if (!message) return std::unexpected(MessageError::notCbor);
  const auto fields =
      exactly<3>(*message, std::array<std::string_view, 3>{"call", "selector", "arguments"});
  if (!fields) return std::unexpected(MessageError::notCall);
  const auto id = messageId(*(*fields)[0]);
  const auto* selector = (*fields)[1]->get<std::string>();
  // Moved out, not copied: the arguments may hold a text of many megabytes.
  auto* arguments = message->get<Dictionary>()->find("arguments")->get<Array>();
  if (!id || selector == nullptr || arguments == nullptr) {
    return std::unexpected(MessageError::notCall);
  }
  return CallMessage{.id = *id, .selector = *selector, .arguments = std::move(*arguments)};
}

Bytes encodeReady() {
  Bytes out;
  appendCborHead(out, 5, 1);
  appendText(out, "ready");
  out.push_back(0xf5);  // true
  return out;
}

bool isReady(std::span<const std::uint8_t> payload) {
  const auto message = decodeCbor(payload);
  return message && *message == Value(Dictionary{{"ready", true}});
}

Bytes encodeReply(std::uint64_t id, const std::vector<ReplyArgument>& arguments) {
  Bytes out;
  appendCborHead(out, 5, 2);
  appendText(out, "reply");
  appendCborHead(out, 0, id);
  appendText(out, "arguments");
  appendCborHead(out, 4, arguments.size());
  for (const auto& argument : arguments) {
    if (const auto* value = std::get_if<Value>(&argument)) {
      appendValue(out, *value);
      continue;
    }
    const auto& endpoint = std::get<std::optional<ListenerEndpoint>>(argument);
    if (!endpoint) {
      out.push_back(0xf6);  // nil
      continue;
    }
    appendCborHead(out, 6, kEndpointTag);
    appendText(out, endpoint->socketAddress);
  }
  return out;
}

std::expected<ReplyMessage, MessageError> decodeReply(std::span<const std::uint8_t> payload,
                                                      std::span<const ArgumentKind> kinds) {
  // A tagged address stands in the decoded value as the one-entry map {tag: address}; the count
  // of tags read tells such a map from one that the peer sent as it is.
  std::size_t tagsRead = 0;
  const CborTagReader readEndpoint = [&](std::uint64_t tag, Value content) -> std::optional<Value> {
    if (tag != kEndpointTag || !content.is<std::string>()) return std::nullopt;
    ++tagsRead;
    return Value(Dictionary{{static_cast<std::int64_t>(kEndpointTag), std::move(content)}});
  };
  const auto message = decodeCbor(payload, kMaximumCborDepth, readEndpoint);
  if (!message) return std::unexpected(MessageError::notCbor);
  const auto fields = exactly<2>(*message, std::array<std::string_view, 2>{"reply", "arguments"});
  if (!fields) return std::unexpected(MessageError::notReply);
  const auto id = messageId(*(*fields)[0]);
  const auto* arguments = (*fields)[1]->get<Array>();
  if (!id || arguments == nullptr || arguments->size() != kinds.size()) {
    return std::unexpected(MessageError::notReply);
  }

  ReplyMessage reply{.id = *id};
  std::size_t endpoints = 0;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    const auto& argument = (*arguments)[i];
    if (kinds[i] != ArgumentKind::endpoint) {
      if (!valueIsOfKind(argument, kinds[i])) return std::unexpected(MessageError::notReply);
      reply.arguments.emplace_back(argument);
      continue;
    }
    if (argument.is<Null>()) {
      reply.arguments.emplace_back(std::optional<ListenerEndpoint>());
      continue;
    }
    const auto* tagged = argument.get<Dictionary>();
    const auto* address =
        tagged != nullptr && tagged->size() == 1
            ? acceptString(tagged->findKey(Value(static_cast<std::int64_t>(kEndpointTag))))
            : nullptr;
    if (address == nullptr) return std::unexpected(MessageError::notReply);
    ++endpoints;
    reply.arguments.emplace_back(std::optional<ListenerEndpoint>(ListenerEndpoint{*address}));
  }
  if (endpoints != tagsRead) return std::unexpected(MessageError::notReply);
  return reply;
}

}  // namespace tarnel::linux_platform
