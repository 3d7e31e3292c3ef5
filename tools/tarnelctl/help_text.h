// The words that describe tarnelctl to people: one row per subcommand, from which --help is
// made. The manual page (docs/man/tarnelctl.1.scd) repeats each row word for word, and a test
// holds the two to that, so that neither can gain or lose a subcommand or change an example alone.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarnel::tarnelctl {

struct SubcommandHelp {
  std::string_view synopsis;  // the subcommand and the options it takes
  std::string_view summary;   // what it does, in one sentence
  std::string_view example;   // a command line that a person could type
};

std::span<const SubcommandHelp> subcommandHelp();

// What `tarnelctl --help` prints: the usage, every subcommand with an example, the options, the
// formats and the exit statuses.
std::string helpText();

// The usage lines printed under a command-line mistake.
std::string_view usageLines();

}  // namespace tarnel::tarnelctl
