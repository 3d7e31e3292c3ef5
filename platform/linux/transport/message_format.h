// The transport's messages, one CBOR item per frame: the service's {"ready": true} that opens a
// connection it took, a call {"call": id, "selector": text, "arguments": array} and its reply
// {"reply": id, "arguments": array}. A listener endpoint travels as its socket address under the
// tag kEndpointTag.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"
#include "platform/linux/transport/method_signature.h"
#include "platform/linux/wire/cbor_codec.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

// "TX" in ASCII: a number from the first-come-first-served range that no registered tag uses.
inline constexpr std::uint64_t kEndpointTag = 0x5458;

struct CallMessage {
  std::uint64_t id = 0;
  std::string selector;
  std::vector<Value> arguments;
};

struct ReplyMessage {
  std::uint64_t id = 0;
  std::vector<ReplyArgument> arguments;
};

enum class MessageError {
  notCbor,   // the frame is not one acceptable CBOR item
  notCall,   // not a map with exactly the keys of a call, each of its kind
  notReply,  // not a map with exactly the keys of a reply, or arguments not of their kinds
};

Bytes encodeCall(const CallMessage& call);
// A call whose arguments are CBOR items already, sent byte for byte as they are: how a client
// passes on a request it was handed encoded, however malformed.
Bytes encodeCallWithEncodedArguments(std::uint64_t id, std::string_view selector,
                                     std::span<const Bytes> encodedArguments);
// A call, as a peer sent it; tags are refused.
std::expected<CallMessage, MessageError> decodeCall(std::span<const std::uint8_t> payload);

// The first frame of a connection that the service took, after its peer was validated.
Bytes encodeReady();
// Whether `payload` is exactly that frame.
bool isReady(std::span<const std::uint8_t> payload);

Bytes encodeReply(std::uint64_t id, const std::vector<ReplyArgument>& arguments);
// A reply whose arguments must be of `kinds`; an endpoint argument is the tagged address or nil.
std::expected<ReplyMessage, MessageError> decodeReply(std::span<const std::uint8_t> payload,
                                                      std::span<const ArgumentKind> kinds);

}  // namespace tarnel::linux_platform
