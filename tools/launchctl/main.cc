// launchctl: loads, unloads, removes and lists jobs, and describes a job's exit status.
#include <cstdio>
#include <span>

#include "tools/launchctl/command_line.h"
#include "tools/launchctl/messages.h"
#include "tools/launchctl/service_sockets.h"
#include "tools/launchctl/state_folder.h"
#include "tools/launchctl/verbs.h"

int main(int argc, char** argv) {
  using namespace tarnel::launchctl;
  const auto command = parseCommandLine(
      std::span<const char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!command) {
    std::fprintf(stderr, "%s\n", messages::usage().c_str());
    return kUsage;
  }
  const std::string stateFolder = stateFolderPath();
  switch (command->verb) {
    case Verb::load:
      return loadJob(stateFolder, socketFolderPath(), command->operand);
    case Verb::unload:
      return unloadJob(stateFolder, command->operand);
    case Verb::remove:
      return removeJob(stateFolder, command->operand);
    case Verb::list:
      return listJobs(stateFolder);
    case Verb::error:
      return describeError(command->operand);
  }
  return kUsage;
}
