// Signs an ELF executable in place: the signature is computed over the executable's image and
// appended behind it; a signature already there is replaced.
#pragma once

#include <expected>
#include <optional>
#include <string>

#include "platform/linux/code_signing/signed_data.h"
#include "platform/linux/code_signing/signing_error.h"

namespace tarnel::linux_platform {

struct SigningRequest {
  std::string file;
  std::string identifier;
  // An information dictionary to bind when the executable carries none in its __info_plist
  // section; if it does carry one, this must be the same text.
  std::optional<Bytes> infoPlist;
};

// Signs `request.file` with `identity`; the file is replaced at once (through a new file renamed
// over it, keeping its mode and owner) or left as it was. Why not on failure.
std::expected<void, SigningError> signFile(const SigningIdentity& identity,
                                           const SigningRequest& request);

}  // namespace tarnel::linux_platform
