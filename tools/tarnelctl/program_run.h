// The platform programs that tarnelctl runs to install the helper (codesign, helperinstall),
// started without a shell and waited for.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnel::tarnelctl {

struct CapturedRun {
  std::optional<int> exitStatus;  // nothing when it could not start or did not exit
  std::string output;             // its standard output, up to a limit; its errors are dropped
};

// Runs `program` with `arguments` (argv[0] first) and keeps what it prints.
CapturedRun runCapturing(const std::string& program, const std::vector<std::string>& arguments);

// Runs `program` with what it prints, standard output and errors alike, on this process's
// standard error: its words are for the person, and tarnelctl's standard output is its own.
std::optional<int> runShowingOnStandardError(const std::string& program,
                                             const std::vector<std::string>& arguments);

}  // namespace tarnel::tarnelctl
