#include "tools/launchctl/command_line.h"

#include <array>
#include <string_view>

namespace tarnel::launchctl {

namespace {

enum class WriteFlag { refused, accepted };

struct VerbSyntax {
  std::string_view name;
  Verb verb;
  WriteFlag writeFlag;
  std::size_t operands;
};

constexpr std::array kVerbs{
    VerbSyntax{"load", Verb::load, WriteFlag::accepted, 1},
    VerbSyntax{"unload", Verb::unload, WriteFlag::accepted, 1},
    VerbSyntax{"remove", Verb::remove, WriteFlag::refused, 1},
    VerbSyntax{"list", Verb::list, WriteFlag::refused, 0},
    VerbSyntax{"error", Verb::error, WriteFlag::refused, 1},
};

}  // namespace

std::optional<Command> parseCommandLine(std::span<const char* const> arguments) {
  if (arguments.empty()) return std::nullopt;
  const std::string_view name = arguments.front();
  auto rest = arguments.subspan(1);
  for (const auto& syntax : kVerbs) {
    if (syntax.name != name) continue;
    if (syntax.writeFlag == WriteFlag::accepted && !rest.empty() &&
        std::string_view(rest.front()) == "-w") {
      rest = rest.subspan(1);
    }
    if (rest.size() != syntax.operands) return std::nullopt;
    Command command{.verb = syntax.verb};
    if (syntax.operands == 1) {
      command.operand = rest.front();
      // Only the error verb takes text that may begin with a dash (a negative code).
      if (syntax.verb != Verb::error && command.operand.starts_with('-')) return std::nullopt;
    }
    return command;
  }
  return std::nullopt;
}

}  // namespace tarnel::launchctl
