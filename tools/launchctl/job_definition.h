// A job as its property list defines it: what launchctl runs, where, and with what around it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnel::launchctl {

struct JobDefinition {
  std::string label;
  // The file to execute: Program when given, else the first of ProgramArguments. A name without
  // a slash is looked up in the job's PATH.
  std::string program;
  // The job's argument vector, argv[0] included: ProgramArguments, or Program alone.
  std::vector<std::string> arguments;
  bool runAtLoad = false;
  // The names of MachServices, in name order: each a socket in the socket folder that launchd's
  // side holds while the job is loaded, starting the job when a client connects.
  std::vector<std::string> machServices;
  std::optional<std::string> standardOutPath;
  std::optional<std::string> standardErrorPath;
  std::optional<std::string> workingDirectory;
  // Added to, and overriding, the fixed environment every job starts from.
  std::map<std::string, std::string> environmentVariables;
};

}  // namespace tarnel::launchctl
