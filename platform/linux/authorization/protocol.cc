#include "platform/linux/authorization/protocol.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "platform/linux/wire/cbor_codec.h"

namespace tarnel::linux_platform {

namespace {

// A request map, its rights array and an item map: nothing deeper is ever sent.
constexpr std::size_t kMessageDepth = 3;

constexpr const char* kOperationKey = "operation";
constexpr const char* kExternalFormKey = "externalForm";
constexpr const char* kReferenceKey = "reference";
constexpr const char* kRightsKey = "rights";
constexpr const char* kFlagsKey = "flags";
constexpr const char* kStatusKey = "status";
constexpr const char* kNameKey = "name";
constexpr const char* kValueKey = "value";

// True when `map` holds exactly the text keys `keys`: the codec refuses duplicate keys, so equal
// sizes and every key found leave no room for another.
bool hasExactly(const Dictionary& map, std::initializer_list<std::string_view> keys) {
  return map.size() == keys.size() &&
         std::ranges::all_of(keys, [&](std::string_view key) { return map.find(key) != nullptr; });
}

template <class Number>
std::optional<Number> numberAt(const Dictionary& map, std::string_view key) {
  const Value* value = map.find(key);
  const std::int64_t* integer = value ? value->get<std::int64_t>() : nullptr;
  if (!integer || *integer < std::numeric_limits<Number>::min() ||
      *integer > std::numeric_limits<Number>::max()) {
    return std::nullopt;
  }
  return static_cast<Number>(*integer);
}

std::optional<AuthorizationReference> referenceAt(const Dictionary& map) {
  const auto reference = numberAt<AuthorizationReference>(map, kReferenceKey);
  if (!reference || *reference == 0) return std::nullopt;
  return reference;
}

std::optional<AuthorizationExternalForm> externalFormAt(const Dictionary& map) {
  const Value* value = map.find(kExternalFormKey);
  const Bytes* bytes = value ? value->get<Bytes>() : nullptr;
  if (!bytes || bytes->size() != kAuthorizationExternalFormLength) return std::nullopt;
  AuthorizationExternalForm form{};
  std::ranges::copy(*bytes, form.begin());
  return form;
}

Value encodeItem(const AuthorizationItem& item) {
  return Dictionary{{kNameKey, item.name}, {kValueKey, item.value}, {kFlagsKey, item.flags}};
}

std::optional<AuthorizationItem> decodeItem(const Value& value) {
  const Dictionary* map = value.get<Dictionary>();
  if (!map || !hasExactly(*map, {kNameKey, kValueKey, kFlagsKey})) return std::nullopt;
  const std::string* name = map->find(kNameKey)->get<std::string>();
  const Bytes* data = map->find(kValueKey)->get<Bytes>();
  const auto flags = numberAt<std::uint32_t>(*map, kFlagsKey);
  if (!name || name->empty() || name->size() > kMaximumRightNameLength ||
      name->find('\0') != std::string::npos || !data || data->size() > kMaximumRightValueLength ||
      !flags) {
    return std::nullopt;
  }
  return AuthorizationItem{.name = *name, .value = *data, .flags = *flags};
}

std::optional<AuthorizationRequest> decodeCreate(const Dictionary& map) {
  if (!hasExactly(map, {kOperationKey})) return std::nullopt;
  return CreateRequest{};
}

std::optional<AuthorizationRequest> decodeCreateFromExternalForm(const Dictionary& map) {
  if (!hasExactly(map, {kOperationKey, kExternalFormKey})) return std::nullopt;
  const auto form = externalFormAt(map);
  if (!form) return std::nullopt;
  return CreateFromExternalFormRequest{*form};
}

std::optional<AuthorizationRequest> decodeMakeExternalForm(const Dictionary& map) {
  if (!hasExactly(map, {kOperationKey, kReferenceKey})) return std::nullopt;
  const auto reference = referenceAt(map);
  if (!reference) return std::nullopt;
  return MakeExternalFormRequest{*reference};
}

std::optional<AuthorizationRequest> decodeCopyRights(const Dictionary& map) {
  if (!hasExactly(map, {kOperationKey, kReferenceKey, kRightsKey, kFlagsKey})) return std::nullopt;
  const auto reference = referenceAt(map);
  const auto flags = numberAt<AuthorizationFlags>(map, kFlagsKey);
  const Array* items = map.find(kRightsKey)->get<Array>();
  if (!reference || !flags || !items || items->empty() ||
      items->size() > kMaximumRightsPerRequest) {
    return std::nullopt;
  }
  CopyRightsRequest request{.reference = *reference, .rights = {}, .flags = *flags};
  for (const Value& value : *items) {
    auto item = decodeItem(value);
    if (!item) return std::nullopt;
    request.rights.push_back(std::move(*item));
  }
  return request;
}

std::optional<AuthorizationRequest> decodeFree(const Dictionary& map) {
  if (!hasExactly(map, {kOperationKey, kReferenceKey, kFlagsKey})) return std::nullopt;
  const auto reference = referenceAt(map);
  const auto flags = numberAt<AuthorizationFlags>(map, kFlagsKey);
  if (!reference || !flags) return std::nullopt;
  return FreeRequest{*reference, *flags};
}

struct Operation {
  std::string_view name;
  std::optional<AuthorizationRequest> (*decode)(const Dictionary&);
};

// In the order of the request variant's alternatives, so that a request's index names it.
constexpr Operation kOperations[] = {
    {"create", decodeCreate},
    {"createFromExternalForm", decodeCreateFromExternalForm},
    {"makeExternalForm", decodeMakeExternalForm},
    {"copyRights", decodeCopyRights},
    {"free", decodeFree},
};
static_assert(std::size(kOperations) == std::variant_size_v<AuthorizationRequest>);

struct RequestFields {
  Dictionary& map;
  void operator()(const CreateRequest&) const {}
  void operator()(const CreateFromExternalFormRequest& request) const {
    map.append(kExternalFormKey, Bytes(request.externalForm.begin(), request.externalForm.end()));
  }
  void operator()(const MakeExternalFormRequest& request) const {
    map.append(kReferenceKey, request.reference);
  }
  void operator()(const CopyRightsRequest& request) const {
    Array items;
    for (const auto& item : request.rights) items.push_back(encodeItem(item));
    map.append(kReferenceKey, request.reference);
    map.append(kRightsKey, std::move(items));
    map.append(kFlagsKey, request.flags);
  }
  void operator()(const FreeRequest& request) const {
    map.append(kReferenceKey, request.reference);
    map.append(kFlagsKey, request.flags);
  }
};

std::optional<Dictionary> decodeMap(std::span<const std::uint8_t> message) {
  auto value = decodeCbor(message, kMessageDepth);
  if (!value) return std::nullopt;
  const Dictionary* map = value->get<Dictionary>();
  if (!map) return std::nullopt;
  return *map;
}

}  // namespace

Bytes encodeRequest(const AuthorizationRequest& request) {
  Dictionary map{{kOperationKey, kOperations[request.index()].name}};
  std::visit(RequestFields{map}, request);
  return encodeCbor(map);
}

std::optional<AuthorizationRequest> decodeRequest(std::span<const std::uint8_t> message) {
  const auto map = decodeMap(message);
  if (!map) return std::nullopt;
  const Value* operationValue = map->find(kOperationKey);
  const std::string* operation = operationValue ? operationValue->get<std::string>() : nullptr;
  if (!operation) return std::nullopt;
  const auto known = std::ranges::find(kOperations, *operation, &Operation::name);
  if (known == std::end(kOperations)) return std::nullopt;
  return known->decode(*map);
}

Bytes encodeReply(const AuthorizationReply& reply) {
  Dictionary map{{kStatusKey, reply.status}};
  if (reply.reference) map.append(kReferenceKey, *reply.reference);
  if (reply.externalForm) {
    map.append(kExternalFormKey, Bytes(reply.externalForm->begin(), reply.externalForm->end()));
  }
  return encodeCbor(map);
}

std::optional<AuthorizationReply> decodeReply(std::span<const std::uint8_t> message) {
  const auto map = decodeMap(message);
  if (!map) return std::nullopt;
  AuthorizationReply reply;
  const auto status = numberAt<OSStatus>(*map, kStatusKey);
  if (!status) return std::nullopt;
  reply.status = *status;
  std::size_t fields = 1;
  if (map->find(kReferenceKey)) {
    reply.reference = referenceAt(*map);
    if (!reply.reference) return std::nullopt;
    ++fields;
  }
  if (map->find(kExternalFormKey)) {
    reply.externalForm = externalFormAt(*map);
    if (!reply.externalForm) return std::nullopt;
    ++fields;
  }
  if (fields != map->size()) return std::nullopt;
  return reply;
}

}  // namespace tarnel::linux_platform
