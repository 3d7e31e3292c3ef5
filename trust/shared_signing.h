// Client code-signature validation: a connection is served only when the code at its other end
// is signed by the maker's team, as one of the fifteen client identifiers, at version 7.0 or
// later; the same validity routine checks the helper's own code.
#pragma once

#include <expected>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace tarnel {

// The compiled client requirement: compiled once, on first need, and kept; a failed compilation
// stays failed. SharedSigning holds the one of the process; a test may hold its own, so that
// what one test compiles never reaches another.
class ClientRequirement {
 public:
  // The requirement compiled by `codeSigning` on the first call; nullptr, on this call and every
  // later one, when that compilation failed.
  const SecRequirement* compiled(CodeSigning& codeSigning);

 private:
  std::once_flag once_;
  std::unique_ptr<SecRequirement> requirement_;
};

class SharedSigning {
 public:
  enum class SigningError { notValidSigning };

  using Result = std::expected<void, SigningError>;

  // notValidSigning unless the on-disk code of `code` is valid (flags 25) and satisfies the
  // client requirement.
  static Result validateCode(Platform& platform, const SecCode& code);
  // notValidSigning unless the helper's own code passes validateCode and so does the code of the
  // process named by the connection's audit token.
  static Result validateConnection(Platform& platform, const XPCConnection& connection);
  // The self-integrity check: notValidSigning unless this process's code passes validateCode.
  static Result validateOwnCode(Platform& platform);
  // The client requirement in the code requirement language.
  static std::string clientRequirementText();

  // The process-wide compiled client requirement.
  static ClientRequirement& clientRequirement();

  // The same operations with a given compiled requirement in place of the process-wide one.
  static Result validateCode(Platform& platform, const SecCode& code,
                             ClientRequirement& requirement);
  static Result validateConnection(Platform& platform, const XPCConnection& connection,
                                   ClientRequirement& requirement);
  static Result validateOwnCode(Platform& platform, ClientRequirement& requirement);
};

}  // namespace tarnel
