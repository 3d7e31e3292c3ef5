// What is wrong with tarnelctl's command line, or what its caller may not ask of it. Plain data:
// describe() alone makes the line that tarnelctl prints of it.
#pragma once

#include <string>

namespace tarnel::tarnelctl {

struct TarnelctlError {
  enum class Kind {
    unknownOption,          // subject: the option
    optionAfterSubcommand,  // subject: the subcommand, which takes only --format and --help
    missingValue,           // subject: the option
    badFormat,
    badPresentError,
    badAuthData,
    noSubcommand,
    unknownSubcommand,  // subject: the subcommand
    sendNeedsRoot,
    installNeedsRoot,
    authDataNeedsRoot,
  };
  Kind kind;
  std::string subject;
};

std::string describe(const TarnelctlError& error);

}  // namespace tarnel::tarnelctl
