// Where the authorization server listens, where it reads its rules and which pkcheck it runs:
// fixed paths, each of which a test may move with a command-line option.
#pragma once

#include <expected>
#include <span>
#include <string>

#include "platform/linux/authorization/protocol.h"
#include "tools/authorityd/authorityd_error.h"

namespace tarnel::authorityd {

struct ServerSettings {
  std::string socketPath = linux_platform::kAuthorityServerSocket;
  std::string rulesFolder = "/etc/tarnel/authorization/rules";
  std::string pkcheckPath = "/usr/bin/pkcheck";
};

inline constexpr const char* kUsage =
    "usage: authorityd [--socket PATH] [--rules FOLDER] [--pkcheck PATH]";

// The settings that the arguments after the program name give; the reason when they give none.
std::expected<ServerSettings, AuthoritydError> parseCommandLine(std::span<char* const> arguments);

}  // namespace tarnel::authorityd
