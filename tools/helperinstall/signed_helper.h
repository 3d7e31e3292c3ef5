// What a privileged helper carries, read from an executable whose signature is valid: its label,
// the requirements its clients must meet, and its launchd property list.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "model/value.h"
#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

struct SignedHelper {
  // Its bundle identifier, which is also its signing identifier: the name it is installed under
  // and its job's label.
  std::string label;
  // SMAuthorizedClients: requirement texts, one of which the asking application must satisfy.
  std::vector<std::string> authorizedClients;
  // The __launchd_plist section: its job definition, without the program's place.
  Bytes launchdPlist;
};

// Validates the signature of the executable open as `fd` strictly against the trust anchors in
// `anchorsFolder`, then reads what it carries. Only its signed bytes are read, so that what is
// checked is what gets installed. Why not when the signature is not valid or the helper lacks one
// of the three.
std::expected<SignedHelper, HelperinstallError> readSignedHelper(int fd,
                                                                 const std::string& anchorsFolder);

}  // namespace tarnel::helperinstall
