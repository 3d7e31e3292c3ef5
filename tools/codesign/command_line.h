// The argument lists codesign accepts: sign, verify or display one file, with the options of
// each.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace tarnel::codesign {

enum class Mode { sign, verify, display };

struct Command {
  Mode mode = Mode::display;
  std::string file;
  // --sign
  std::string certificate;
  std::string key;
  std::optional<std::string> chain;
  std::string identifier;
  std::optional<std::string> infoPlist;
  // --verify
  std::optional<std::string> anchors;
  std::optional<std::string> requirement;
};

// The command that `arguments` (argv without argv[0]) ask for; nothing when they name no mode or
// more than one, an option that the mode does not take, an option twice or without its value,
// lack one that it needs, or do not end with exactly one file.
std::optional<Command> parseCommandLine(std::span<const char* const> arguments);

inline constexpr const char* kUsage =
    "usage: codesign --sign --cert LEAF.pem --key KEY.pem [--chain CHAIN.pem] --identifier ID\n"
    "                [--info-plist PLIST] FILE\n"
    "       codesign --verify [--anchors DIR] [--requirement TEXT] FILE\n"
    "       codesign --display FILE";

}  // namespace tarnel::codesign
