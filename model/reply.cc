#include "model/reply.h"

#include <utility>

namespace tarnel {

namespace {

Value keyValue(ReplyKey key) { return Value(static_cast<std::int64_t>(key)); }

}  // namespace

Dictionary makeCodeErrorReply(ReplyErrorCode code, ReplyKey key) {
  Dictionary information{
      {"domain", errorDomain},
      {"code", static_cast<std::int64_t>(code)},
  };
  return Dictionary{{keyValue(key), std::move(information)}};
}

Dictionary makeNSErrorReply(const PlatformError& error, ReplyKey key) {
  Dictionary information{
      {"domain", error.domain},
      {"code", error.code},
      {"description", error.description},
      {"suggestion", error.recoverySuggestion.value_or("")},
  };
  return Dictionary{{keyValue(key), std::move(information)}};
}

Dictionary successReply() { return Dictionary{{keyValue(ReplyKey::success), ""}}; }

Dictionary outputReply(std::string text) {
  return Dictionary{{keyValue(ReplyKey::output), std::move(text)}};
}

}  // namespace tarnel
