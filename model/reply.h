// The reply dictionaries: one entry under an integer key holding error information, a test
// report text, or the empty string for success.
#pragma once

#include <cstdint>
#include <string>

#include "model/platform_error.h"
#include "model/value.h"

namespace tarnel {

enum class ReplyKey : std::int64_t {
  error = 0,
  output = 1,
  success = 2,
};

enum class ReplyErrorCode : std::int64_t {
  invalidRequest = 1,
  notAuthorized = 2,
  missingPayload = 4,
  removeFailed = 5,
  loadFailed = 6,
  unloadFailed = 7,
  symbolicLink = 8,
};

inline constexpr const char* errorDomain = "com.quorvant.xpc.error.domain";

// {key: {"domain": errorDomain, "code": code}}
Dictionary makeCodeErrorReply(ReplyErrorCode code, ReplyKey key = ReplyKey::error);
// {key: {"domain", "code", "description", "suggestion"}}, "suggestion" "" when the error has none.
Dictionary makeNSErrorReply(const PlatformError& error, ReplyKey key = ReplyKey::error);
// {2: ""}
Dictionary successReply();
// {1: text}
Dictionary outputReply(std::string text);

}  // namespace tarnel
