#include "platform/linux/posix/program_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/spawn.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

namespace {

bool needsNullDevice(const ChildStreams& streams) {
  for (const auto& stream : {streams.input, streams.output, streams.errors}) {
    if (stream.kind == ChildStream::Kind::nullDevice) return true;
  }
  return false;
}

}  // namespace

std::expected<pid_t, RunError> startProgram(const std::string& program,
                                            const std::vector<std::string>& arguments,
                                            const ChildStreams& streams) {
  const auto unprepared = std::unexpected(RunError{RunError::Kind::cannotPrepare});
  UniqueFd nullDevice;
  if (needsNullDevice(streams)) {
    nullDevice.reset(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!nullDevice) return unprepared;
  }
  SpawnAttributes attributes;
  SpawnFileActions actions;
  if (!attributes.resetSignals()) return unprepared;
  const std::pair<const ChildStream&, int> placed[] = {{streams.input, STDIN_FILENO},
                                                       {streams.output, STDOUT_FILENO},
                                                       {streams.errors, STDERR_FILENO}};
  for (const auto& [stream, number] : placed) {
    if (stream.kind == ChildStream::Kind::inherited) continue;
    const int from =
        stream.kind == ChildStream::Kind::nullDevice ? nullDevice.get() : stream.descriptor;
    if (!actions.duplicate(from, number)) return unprepared;
  }
  // After the copies, which the file actions make in order.
  if (!actions.closeAllButStandardStreams()) return unprepared;
  const auto child = spawnProgram(program, arguments, actions, attributes);
  if (!child) return std::unexpected(RunError{RunError::Kind::cannotStart, child.error()});
  return *child;
}

std::optional<int> exitStatusOf(int waitStatus) {
  if (!WIFEXITED(waitStatus)) return std::nullopt;
  return WEXITSTATUS(waitStatus);
}

std::expected<int, RunError> runAndWait(const std::string& program,
                                        const std::vector<std::string>& arguments,
                                        const ChildStreams& streams) {
  const auto child = startProgram(program, arguments, streams);
  if (!child) return std::unexpected(child.error());
  const auto status = waitForChild(*child);
  if (!status) return std::unexpected(RunError{RunError::Kind::cannotWait});
  return *status;
}

std::expected<CapturedRun, RunError> runCapturingOutput(const std::string& program,
                                                        const std::vector<std::string>& arguments,
                                                        ChildStreams streams, std::size_t limit) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return std::unexpected(RunError{RunError::Kind::cannotPrepare});
  }
  UniqueFd readingEnd(ends[0]);
  UniqueFd writingEnd(ends[1]);
  streams.output = ChildStream::copyOf(writingEnd.get());
  const auto child = startProgram(program, arguments, streams);
  // Once only the child holds the writing end, its exit ends the output.
  writingEnd.reset();
  if (!child) return std::unexpected(child.error());
  CapturedRun run{.waitStatus = 0, .output = readUpTo(readingEnd.get(), limit).value_or("")};
  readingEnd.reset();
  const auto status = waitForChild(*child);
  if (!status) return std::unexpected(RunError{RunError::Kind::cannotWait});
  run.waitStatus = *status;
  return run;
}

}  // namespace tarnel::linux_platform
