#include "tools/helperinstall/launchctl_run.h"

#include "platform/linux/posix/program_run.h"

namespace tarnel::helperinstall {

bool runLaunchctl(const std::string& launchctl, const std::vector<std::string>& arguments,
                  Output output) {
  using linux_platform::ChildStream;
  std::vector<std::string> argumentVector{launchctl};
  argumentVector.insert(argumentVector.end(), arguments.begin(), arguments.end());
  linux_platform::ChildStreams streams;
  if (output == Output::hidden) streams.output = streams.errors = ChildStream::nullDevice();
  const auto status = linux_platform::runAndWait(launchctl, argumentVector, streams);
  return status && linux_platform::exitStatusOf(*status) == 0;
}

}  // namespace tarnel::helperinstall
