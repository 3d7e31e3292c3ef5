// The platform's trust anchors: the PEM certificates of one fixed folder, read afresh for each
// validation so that a change to the folder takes effect at once. Whoever may change an anchor
// decides whose code is trusted, so the folder, every folder above it and each anchor must be
// root's alone (posix/root_only.h), or there is no anchor at all.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/code_signing/certificate_error.h"
#include "platform/linux/code_signing/openssl_ptr.h"
#include "platform/linux/posix/file_state.h"

namespace tarnel::linux_platform {

inline constexpr const char* kDefaultAnchorsFolder = "/etc/tarnel/anchors";

// A store of every certificate in the files named *.pem in `folder`; why not when the folder
// cannot be read, it, a folder above it or an anchor may be changed by others than root (naming
// which and why), an anchor is not a plain file or is damaged, or there is no anchor at all.
std::expected<X509StorePtr, CertificateError> loadTrustAnchors(const std::string& folder);

// What the anchors in a folder are, as far as any change to them shows: the folder's own identity
// and times (a file added, removed or renamed in it changes them) and each anchor file's name,
// identity, size and times (a file rewritten in place changes them).
struct AnchorsState {
  FileState folder;
  std::vector<std::pair<std::string, FileState>> files;
  bool operator==(const AnchorsState&) const = default;
};

// The state of `folder` now; nothing when it cannot be read or is not root's alone.
std::optional<AnchorsState> readAnchorsState(const std::string& folder);

// Whether `folder` is still in the state `state`, asked without listing it, and still root's
// alone: the folders above checked again, its own state (unchanged, it holds the same names and
// has the same owner and mode), then each file's (the same bytes, owner and mode).
bool anchorsStillIn(const std::string& folder, const AnchorsState& state);

}  // namespace tarnel::linux_platform
