#include "tools/helperinstall/command_line.h"

#include <array>
#include <string_view>
#include <vector>

namespace tarnel::helperinstall {

namespace {

struct Option {
  std::string_view name;
  std::string Settings::*field;
};

constexpr std::array kOptions{
    Option{"--anchors", &Settings::anchorsFolder},
    Option{"--authority-socket", &Settings::authoritySocket},
    Option{"--root", &Settings::root},
    Option{"--launchctl", &Settings::launchctl},
};

}  // namespace

std::optional<Settings> parseCommandLine(std::span<const char* const> arguments) {
  Settings settings;
  std::vector<std::string> operands;
  std::array<bool, kOptions.size()> given{};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (!argument.starts_with("-")) {
      operands.emplace_back(argument);
      continue;
    }
    bool known = false;
    for (std::size_t o = 0; o < kOptions.size(); ++o) {
      if (argument != kOptions[o].name) continue;
      if (given[o] || i + 1 == arguments.size()) return std::nullopt;
      given[o] = true;
      settings.*kOptions[o].field = arguments[++i];
      known = true;
    }
    if (!known) return std::nullopt;
  }
  if (operands.size() != 2 || operands[0].empty() || operands[1].empty()) return std::nullopt;
  settings.application = operands[0];
  settings.helper = operands[1];
  return settings;
}

}  // namespace tarnel::helperinstall
