// Controller's two launchctl runners without a Controller: the command runner on a given platform
// and tool path, for the operations that run their commands through a CommandRunner.
#pragma once

#include <string>
#include <utility>

#include "operations/command_runner.h"
#include "platform/platform.h"

namespace tarnel::support {

class FakeCommandRunner : public CommandRunner {
 public:
  FakeCommandRunner(Platform& platform, std::string launchctl)
      : platform_(platform), launchctl_(std::move(launchctl)) {}

  std::expected<void, Dictionary> runLaunchctl(LaunchctlVerb verb,
                                               const std::string& argument) override {
    return tarnel::runLaunchctl(platform_, launchctl_, verb, argument);
  }
  std::string runCapturingOutput(CaptureCommand command, const std::string& argument) override {
    return tarnel::runCapturingOutput(platform_, launchctl_, command, argument);
  }

 private:
  Platform& platform_;
  std::string launchctl_;
};

}  // namespace tarnel::support
