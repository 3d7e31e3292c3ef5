// The platform's trust anchors: the PEM certificates of one fixed folder, read afresh for each
// validation so that a change to the folder takes effect at once.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/code_signing/openssl_ptr.h"
#include "platform/linux/posix/file_state.h"

namespace tarnel::linux_platform {

inline constexpr const char* kDefaultAnchorsFolder = "/etc/tarnel/anchors";

// A store of every certificate in the files named *.pem in `folder`; the reason when the folder
// cannot be read, a file is damaged, or there is no anchor at all.
std::expected<X509StorePtr, std::string> loadTrustAnchors(const std::string& folder);

// What the anchors in a folder are, as far as any change to them shows: the folder's own identity
// and times (a file added, removed or renamed in it changes them) and each anchor file's name,
// identity, size and times (a file rewritten in place changes them).
struct AnchorsState {
  FileState folder;
  std::vector<std::pair<std::string, FileState>> files;
  bool operator==(const AnchorsState&) const = default;
};

// The state of `folder` now; nothing when it cannot be read.
std::optional<AnchorsState> readAnchorsState(const std::string& folder);

// Whether `folder` is still in the state `state`, asked without listing it: its own state first
// (unchanged, it holds the same names), then each file's.
bool anchorsStillIn(const std::string& folder, const AnchorsState& state);

}  // namespace tarnel::linux_platform
