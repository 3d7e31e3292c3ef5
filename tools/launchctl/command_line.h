// The argument lists launchctl accepts: which verb, and the one operand it acts on.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace tarnel::launchctl {

enum class Verb { load, unload, remove, list, error };

struct Command {
  Verb verb = Verb::list;
  // A job file path (load, unload), a label (remove) or a status text (error); empty for list.
  std::string operand;
};

// The command that `arguments` (argv without argv[0]) ask for; nothing when they fit none of the
// verbs. "-w" is accepted by load and unload: no job is ever disabled, so there is nothing for it
// to override. The operand of error is taken exactly as given, so "-15" and "78\n" stay codes.
std::optional<Command> parseCommandLine(std::span<const char* const> arguments);

}  // namespace tarnel::launchctl
