#include "tools/codesign/command_line.h"

#include <string_view>

namespace tarnel::codesign {

namespace {

// Each option with a value: the mode that takes it and where the value goes.
struct ValueOption {
  std::string_view name;
  Mode mode;
  bool required;
  std::optional<std::string> Command::*optionalField;
  std::string Command::*field;
};

constexpr ValueOption kValueOptions[] = {
    {"--cert", Mode::sign, true, nullptr, &Command::certificate},
    {"--key", Mode::sign, true, nullptr, &Command::key},
    {"--chain", Mode::sign, false, &Command::chain, nullptr},
    {"--identifier", Mode::sign, true, nullptr, &Command::identifier},
    {"--info-plist", Mode::sign, false, &Command::infoPlist, nullptr},
    {"--anchors", Mode::verify, false, &Command::anchors, nullptr},
    {"--requirement", Mode::verify, false, &Command::requirement, nullptr},
};

constexpr std::pair<std::string_view, Mode> kModes[] = {
    {"--sign", Mode::sign}, {"--verify", Mode::verify}, {"--display", Mode::display}};

}  // namespace

std::optional<Command> parseCommandLine(std::span<const char* const> arguments) {
  Command command;
  std::optional<Mode> mode;
  bool given[std::size(kValueOptions)] = {};
  std::optional<std::string> file;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    bool known = false;
    for (const auto& [name, value] : kModes) {
      if (argument != name) continue;
      if (mode) return std::nullopt;
      mode = value;
      known = true;
    }
    for (std::size_t o = 0; o < std::size(kValueOptions) && !known; ++o) {
      const auto& option = kValueOptions[o];
      if (argument != option.name) continue;
      if (given[o] || i + 1 == arguments.size()) return std::nullopt;
      given[o] = true;
      known = true;
      const std::string value = arguments[++i];
      if (option.field) {
        command.*option.field = value;
      } else {
        command.*option.optionalField = value;
      }
    }
    if (known) continue;
    if (argument.starts_with("--") || file) return std::nullopt;
    file = std::string(argument);
  }
  if (!mode || !file) return std::nullopt;
  command.mode = *mode;
  command.file = *file;
  for (std::size_t o = 0; o < std::size(kValueOptions); ++o) {
    const auto& option = kValueOptions[o];
    if (given[o] && option.mode != *mode) return std::nullopt;
    if (!given[o] && option.required && option.mode == *mode) return std::nullopt;
  }
  return command;
}

}  // namespace tarnel::codesign
