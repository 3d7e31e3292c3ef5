#include "platform/linux/wire/cbor_codec.h"

#include <cbor.h>

#include <bit>
#include <limits>
#include <set>
#include <utility>
#include <variant>
#include <vector>

#include "text/utf8.h"

namespace tarnel::linux_platform {

namespace {

// What one step of libcbor's streaming decoder reported: the head of one data item, with a
// string's bytes when it is a string. The callbacks only record it; every rule is applied by the
// decoder below, which can stop, where a callback cannot.
struct Event {
  enum class Type {
    none,
    unsignedInteger,
    negativeInteger,  // -1 - number
    bytes,
    text,
    arrayStart,
    mapStart,
    tag,
    real,
    null,
    boolean,
    refused,  // indefinite lengths, break, undefined
  };
  Type type = Type::none;
  std::uint64_t number = 0;
  double real = 0;
  bool boolean = false;
  const std::uint8_t* data = nullptr;
  std::size_t length = 0;
};

Event& eventOf(void* context) { return *static_cast<Event*>(context); }

void onUnsigned(void* context, std::uint64_t number) {
  eventOf(context) = {.type = Event::Type::unsignedInteger, .number = number};
}
void onUnsigned8(void* context, std::uint8_t number) { onUnsigned(context, number); }
void onUnsigned16(void* context, std::uint16_t number) { onUnsigned(context, number); }
void onUnsigned32(void* context, std::uint32_t number) { onUnsigned(context, number); }
void onNegative(void* context, std::uint64_t number) {
  eventOf(context) = {.type = Event::Type::negativeInteger, .number = number};
}
void onNegative8(void* context, std::uint8_t number) { onNegative(context, number); }
void onNegative16(void* context, std::uint16_t number) { onNegative(context, number); }
void onNegative32(void* context, std::uint32_t number) { onNegative(context, number); }
void onBytes(void* context, cbor_data data, std::size_t length) {
  eventOf(context) = {.type = Event::Type::bytes, .data = data, .length = length};
}
void onText(void* context, cbor_data data, std::size_t length) {
  eventOf(context) = {.type = Event::Type::text, .data = data, .length = length};
}
void onArray(void* context, std::size_t count) {
  eventOf(context) = {.type = Event::Type::arrayStart, .number = count};
}
void onMap(void* context, std::size_t count) {
  eventOf(context) = {.type = Event::Type::mapStart, .number = count};
}
void onTag(void* context, std::uint64_t number) {
  eventOf(context) = {.type = Event::Type::tag, .number = number};
}
void onFloat(void* context, float real) {
  eventOf(context) = {.type = Event::Type::real, .real = real};
}
void onDouble(void* context, double real) {
  eventOf(context) = {.type = Event::Type::real, .real = real};
}
void onNull(void* context) { eventOf(context) = {.type = Event::Type::null}; }
void onBoolean(void* context, bool boolean) {
  eventOf(context) = {.type = Event::Type::boolean, .boolean = boolean};
}
void onRefused(void* context) { eventOf(context) = {.type = Event::Type::refused}; }

const cbor_callbacks kCallbacks = {
    .uint8 = onUnsigned8,
    .uint16 = onUnsigned16,
    .uint32 = onUnsigned32,
    .uint64 = onUnsigned,
    .negint64 = onNegative,
    .negint32 = onNegative32,
    .negint16 = onNegative16,
    .negint8 = onNegative8,
    .byte_string_start = onRefused,
    .byte_string = onBytes,
    .string = onText,
    .string_start = onRefused,
    .indef_array_start = onRefused,
    .array_start = onArray,
    .indef_map_start = onRefused,
    .map_start = onMap,
    .tag = onTag,
    .float2 = onFloat,
    .float4 = onFloat,
    .float8 = onDouble,
    .undefined = onRefused,
    .null = onNull,
    .boolean = onBoolean,
    .indef_break = onRefused,
};

// An array, map or tag still waiting for items.
struct Open {
  enum class Kind { array, map, tag };
  Kind kind;
  std::uint64_t itemsLeft = 0;  // entries for a map
  std::uint64_t tag = 0;
  Array array;
  Dictionary map;
  std::optional<Value> key;
  std::set<Bytes> keys;  // the canonical encodings of the keys seen
};

class Decoder {
 public:
  Decoder(std::span<const std::uint8_t> bytes, std::size_t maximumDepth,
          const CborTagReader& readTag)
      : bytes_(bytes), maximumDepth_(maximumDepth), readTag_(readTag) {}

  std::expected<Value, CborError> run() {
    while (!result_) {
      if (offset_ == bytes_.size()) return std::unexpected(CborError::truncated);
      Event event;
      const auto step =
          cbor_stream_decode(bytes_.data() + offset_, bytes_.size() - offset_, &kCallbacks, &event);
      if (step.status == CBOR_DECODER_NEDATA) return std::unexpected(CborError::truncated);
      if (step.status != CBOR_DECODER_FINISHED || step.read == 0) {
        return std::unexpected(CborError::malformed);
      }
      offset_ += step.read;
      if (++items_ > kMaximumCborItems) return std::unexpected(CborError::tooManyItems);
      if (auto failure = take(event)) return std::unexpected(*failure);
    }
    if (offset_ != bytes_.size()) return std::unexpected(CborError::trailingBytes);
    return std::move(*result_);
  }

 private:
  std::size_t bytesLeft() const { return bytes_.size() - offset_; }

  std::optional<CborError> take(const Event& event) {
    using Type = Event::Type;
    switch (event.type) {
      case Type::unsignedInteger:
        if (event.number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          return CborError::malformed;
        }
        return complete(Value(static_cast<std::int64_t>(event.number)));
      case Type::negativeInteger:
        if (event.number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          return CborError::malformed;
        }
        return complete(Value(-1 - static_cast<std::int64_t>(event.number)));
      case Type::bytes:
        return complete(Value(Bytes(event.data, event.data + event.length)));
      case Type::text: {
        const std::span<const std::uint8_t> text(event.data, event.length);
        if (!isValidUtf8(text)) return CborError::invalidText;
        return complete(Value(std::string(text.begin(), text.end())));
      }
      case Type::arrayStart:
        // Every item takes at least one byte.
        if (event.number > bytesLeft()) return CborError::truncated;
        return open(Open{.kind = Open::Kind::array, .itemsLeft = event.number});
      case Type::mapStart:
        if (event.number > bytesLeft() / 2) return CborError::truncated;
        return open(Open{.kind = Open::Kind::map, .itemsLeft = event.number});
      case Type::tag:
        if (!readTag_) return CborError::malformed;
        return open(Open{.kind = Open::Kind::tag, .itemsLeft = 1, .tag = event.number});
      case Type::real:
        return complete(Value(event.real));
      case Type::null:
        return complete(Value(Null{}));
      case Type::boolean:
        return complete(Value(event.boolean));
      case Type::none:
      case Type::refused:
        break;
    }
    return CborError::malformed;
  }

  std::optional<CborError> open(Open container) {
    if (open_.size() >= maximumDepth_) return CborError::tooDeep;
    if (container.itemsLeft == 0) {
      return complete(container.kind == Open::Kind::array ? Value(Array{}) : Value(Dictionary{}));
    }
    open_.push_back(std::move(container));
    return std::nullopt;
  }

  // Places a finished item in the container that waits for it, closing every container that it
  // fills, or makes it the result.
  std::optional<CborError> complete(Value item) {
    while (!open_.empty()) {
      auto& top = open_.back();
      switch (top.kind) {
        case Open::Kind::tag: {
          auto replacement = readTag_(top.tag, std::move(item));
          if (!replacement) return CborError::malformed;
          item = std::move(*replacement);
          open_.pop_back();
          continue;
        }
        case Open::Kind::array:
          top.array.push_back(std::move(item));
          break;
        case Open::Kind::map:
          if (!top.key) {
            if (!top.keys.insert(encodeCbor(item)).second) return CborError::duplicateKey;
            top.key = std::move(item);
            return std::nullopt;
          }
          top.map.append(std::move(*top.key), std::move(item));
          top.key.reset();
          break;
      }
      if (--top.itemsLeft > 0) return std::nullopt;
      item =
          top.kind == Open::Kind::array ? Value(std::move(top.array)) : Value(std::move(top.map));
      open_.pop_back();
    }
    result_ = std::move(item);
    return std::nullopt;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t maximumDepth_;
  const CborTagReader& readTag_;
  std::size_t offset_ = 0;
  std::size_t items_ = 0;
  std::vector<Open> open_;
  std::optional<Value> result_;
};

void appendBytes(Bytes& out, const std::uint8_t* data, std::size_t length) {
  out.insert(out.end(), data, data + length);
}

void encodeInto(Bytes& out, const Value& value);

struct Encoder {
  Bytes& out;
  void operator()(const Null&) const { out.push_back(0xf6); }
  void operator()(bool boolean) const { out.push_back(boolean ? 0xf5 : 0xf4); }
  void operator()(std::int64_t integer) const {
    if (integer >= 0) {
      appendCborHead(out, 0, static_cast<std::uint64_t>(integer));
    } else {
      appendCborHead(out, 1, static_cast<std::uint64_t>(-1 - integer));
    }
  }
  void operator()(double real) const {
    const auto bits = std::bit_cast<std::uint64_t>(real);
    out.push_back(0xfb);
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back((bits >> shift) & 0xff);
  }
  void operator()(const std::string& text) const {
    appendCborHead(out, 3, text.size());
    appendBytes(out, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  void operator()(const Bytes& data) const {
    appendCborHead(out, 2, data.size());
    appendBytes(out, data.data(), data.size());
  }
  void operator()(const Array& array) const {
    appendCborHead(out, 4, array.size());
    for (const auto& item : array) encodeInto(out, item);
  }
  void operator()(const Dictionary& map) const {
    appendCborHead(out, 5, map.size());
    for (const auto& entry : map.entries()) {
      encodeInto(out, entry.key);
      encodeInto(out, entry.value);
    }
  }
};

void encodeInto(Bytes& out, const Value& value) { std::visit(Encoder{out}, value.storage()); }

}  // namespace

std::expected<Value, CborError> decodeCbor(std::span<const std::uint8_t> bytes,
                                           std::size_t maximumDepth, const CborTagReader& readTag) {
  return Decoder(bytes, maximumDepth, readTag).run();
}

Bytes encodeCbor(const Value& value) {
  Bytes out;
  encodeInto(out, value);
  return out;
}

void appendCborHead(Bytes& out, std::uint8_t majorType, std::uint64_t argument) {
  const auto type = static_cast<std::uint8_t>(majorType << 5);
  int width = 0;  // bytes of argument after the initial byte
  if (argument < 24) {
    out.push_back(type | static_cast<std::uint8_t>(argument));
    return;
  } else if (argument <= 0xff) {
    out.push_back(type | 24);
    width = 1;
  } else if (argument <= 0xffff) {
    out.push_back(type | 25);
    width = 2;
  } else if (argument <= 0xffffffff) {
    out.push_back(type | 26);
    width = 4;
  } else {
    out.push_back(type | 27);
    width = 8;
  }
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    out.push_back((argument >> shift) & 0xff);
}

}  // namespace tarnel::linux_platform
