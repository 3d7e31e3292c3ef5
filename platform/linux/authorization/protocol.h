// The messages between the authorization server and its clients: each request and each reply is
// one CBOR map of property-list values in one frame. Decoding is strict: a field missing or too
// many, a value of the wrong kind or out of bounds, and the message decodes to nothing, upon which
// the side that received it ends the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>

#include "model/value.h"
#include "platform/authorization.h"

namespace tarnel::linux_platform {

// Where the authorization server listens unless it is told otherwise.
inline constexpr const char* kAuthorityServerSocket = "/var/run/authorityd.socket";

inline constexpr std::size_t kMaximumRightsPerRequest = 16;
inline constexpr std::size_t kMaximumRightNameLength = 255;
inline constexpr std::size_t kMaximumRightValueLength = 1024;

// A connection's own number for one reference that it holds; never 0.
using AuthorizationReference = std::uint32_t;

// A new authorization, made by the process at the client end of the connection.
struct CreateRequest {
  bool operator==(const CreateRequest&) const = default;
};
struct CreateFromExternalFormRequest {
  AuthorizationExternalForm externalForm{};
  bool operator==(const CreateFromExternalFormRequest&) const = default;
};
struct MakeExternalFormRequest {
  AuthorizationReference reference = 0;
  bool operator==(const MakeExternalFormRequest&) const = default;
};
struct CopyRightsRequest {
  AuthorizationReference reference = 0;
  AuthorizationItemSet rights;  // 1 to kMaximumRightsPerRequest items
  AuthorizationFlags flags = kAuthorizationFlagDefaults;
  bool operator==(const CopyRightsRequest&) const = default;
};
struct FreeRequest {
  AuthorizationReference reference = 0;
  AuthorizationFlags flags = kAuthorizationFlagDefaults;
  bool operator==(const FreeRequest&) const = default;
};

using AuthorizationRequest = std::variant<CreateRequest, CreateFromExternalFormRequest,
                                          MakeExternalFormRequest, CopyRightsRequest, FreeRequest>;

struct AuthorizationReply {
  OSStatus status = errAuthorizationInternal;
  std::optional<AuthorizationReference> reference;        // of a created reference
  std::optional<AuthorizationExternalForm> externalForm;  // of a made external form
  bool operator==(const AuthorizationReply&) const = default;
};

Bytes encodeRequest(const AuthorizationRequest& request);
std::optional<AuthorizationRequest> decodeRequest(std::span<const std::uint8_t> message);

Bytes encodeReply(const AuthorizationReply& reply);
std::optional<AuthorizationReply> decodeReply(std::span<const std::uint8_t> message);

}  // namespace tarnel::linux_platform
