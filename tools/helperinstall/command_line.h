// What helperinstall is asked: the application that asks for its helper, the helper's
// executable, and where the platform's pieces are. Those have fixed places, which the options
// move for tests alone.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "platform/linux/authorization/protocol.h"
#include "platform/linux/code_signing/trust_anchors.h"

namespace tarnel::helperinstall {

struct Settings {
  std::string application;
  std::string helper;
  std::string anchorsFolder = linux_platform::kDefaultAnchorsFolder;
  std::string authoritySocket = linux_platform::kAuthorityServerSocket;
  // The folder in which Library/PrivilegedHelperTools and Library/LaunchDaemons lie.
  std::string root = "/";
  std::string launchctl = "/bin/launchctl";
};

// The settings that `arguments` (argv without argv[0]) give; nothing when they are not
// [--anchors FOLDER] [--authority-socket PATH] [--root FOLDER] [--launchctl PATH] APPLICATION
// HELPER.
std::optional<Settings> parseCommandLine(std::span<const char* const> arguments);

}  // namespace tarnel::helperinstall
