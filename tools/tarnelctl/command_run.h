// What tarnelctl does for a command read from its command line: prints its help, installs the
// helper, or connects to the helper and sends it what the command asks.
#pragma once

#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/report.h"

namespace tarnel::tarnelctl {

Report runCommand(const Command& command);

}  // namespace tarnel::tarnelctl
