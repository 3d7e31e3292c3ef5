// What a remote method's extended type encoding says about its calls: the kinds of its arguments
// and of its reply block's arguments, which the transport checks before delivering a call.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "model/value.h"

namespace tarnel::linux_platform {

// The kinds of value an argument may be, as the encoding names them.
enum class ArgumentKind {
  dictionary,  // @"NSDictionary"
  array,       // @"NSArray"
  string,      // @"NSString"
  data,        // @"NSData"
  number,      // @"NSNumber": an integer, a real or a Boolean
  boolean,     // B
  integer,     // c, s, i, l, q and their unsigned forms
  real,        // f, d
  endpoint,    // @"NSXPCListenerEndpoint"
};

struct MethodSignature {
  std::vector<ArgumentKind> arguments;  // after the receiver and the selector, before the block
  // The reply block's arguments; nothing for a method without a reply block.
  std::optional<std::vector<ArgumentKind>> reply;
};

// The signature that `typeEncoding` describes (e.g. `v24@0:8@?<v@?@"NSXPCListenerEndpoint">16`);
// nothing for an encoding that is malformed, returns a value, or names a kind no value has.
std::optional<MethodSignature> parseMethodSignature(std::string_view typeEncoding);

// Whether `value` is of `kind`. An endpoint is never a plain value.
bool valueIsOfKind(const Value& value, ArgumentKind kind);

// Whether `arguments` are as many as `kinds`, each of its kind.
bool argumentsMatch(std::span<const Value> arguments, std::span<const ArgumentKind> kinds);

}  // namespace tarnel::linux_platform
