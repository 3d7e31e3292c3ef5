#include "operations/command_runner.h"

#include <array>
#include <string_view>
#include <vector>

#include "model/reply.h"
#include "operations/status_pipeline.h"
#include "text/utf8.h"

namespace tarnel {

namespace {

constexpr std::size_t kChunkBytes = 1024;
constexpr const char* kShell = "/bin/sh";

struct VerbRow {
  LaunchctlVerb verb;
  std::string_view verbWord;
  std::string_view option;  // empty: none
  ReplyErrorCode codeOnFailure;
};

constexpr std::array<VerbRow, 3> kVerbRows{{
    {LaunchctlVerb::load, "load", "-w", ReplyErrorCode::loadFailed},
    {LaunchctlVerb::remove, "remove", "", ReplyErrorCode::removeFailed},
    {LaunchctlVerb::unload, "unload", "-w", ReplyErrorCode::unloadFailed},
}};

enum class Program { launchctl, shell };
enum class LastArgument { asGiven, statusPipeline };

struct CaptureRow {
  CaptureCommand command;
  Program program;
  std::string_view first;
  std::string_view second;  // empty: none
  LastArgument last;
};

constexpr std::array<CaptureRow, 3> kCaptureRows{{
    {CaptureCommand::loadJob, Program::launchctl, "load", "-w", LastArgument::asGiven},
    {CaptureCommand::exitStatus, Program::shell, "-c", "", LastArgument::statusPipeline},
    {CaptureCommand::errorText, Program::launchctl, "error", "", LastArgument::asGiven},
}};

template <class Row, std::size_t Count, class Selector>
constexpr bool rowsInRawValueOrder(const std::array<Row, Count>& rows, Selector selector) {
  for (std::size_t index = 0; index < Count; ++index) {
    if (static_cast<std::size_t>(selector(rows[index])) != index) return false;
  }
  return true;
}
static_assert(rowsInRawValueOrder(kVerbRows, [](const VerbRow& row) { return row.verb; }));
static_assert(rowsInRawValueOrder(kCaptureRows, [](const CaptureRow& row) { return row.command; }));

std::vector<std::string> argumentList(std::string_view first, std::string_view second,
                                      std::string last) {
  std::vector<std::string> arguments{std::string(first)};
  if (!second.empty()) arguments.emplace_back(second);
  arguments.push_back(std::move(last));
  return arguments;
}

}  // namespace

std::expected<void, Dictionary> runLaunchctl(Platform& platform, const std::string& launchctl,
                                             LaunchctlVerb verb, const std::string& argument) {
  const auto& row = kVerbRows[static_cast<std::size_t>(verb)];
  // A tool that cannot be started is as failed as one that exits with an error: nothing waits
  // for an exit that will never come.
  const auto status =
      platform.processes.run(launchctl, argumentList(row.verbWord, row.option, argument));
  if (status == 0) return {};
  return std::unexpected(makeCodeErrorReply(row.codeOnFailure));
}

std::string runCapturingOutput(Platform& platform, const std::string& launchctl,
                               CaptureCommand command, const std::string& argument) {
  const auto& row = kCaptureRows[static_cast<std::size_t>(command)];
  const std::string program = row.program == Program::shell ? kShell : launchctl;
  auto last =
      row.last == LastArgument::statusPipeline ? statusPipelineText(launchctl, argument) : argument;
  auto output = platform.processes.runCapturing(
      program, argumentList(row.first, row.second, std::move(last)));
  if (!output) return {};

  std::string text;
  bool full = false;
  for (;;) {
    const auto chunk = output->read(kChunkBytes);
    if (chunk.empty()) break;
    if (full || !isValidUtf8(chunk)) continue;
    // Once a read does not fit, nothing after it is kept either: the text stays a beginning of
    // the output rather than one with a hole.
    if (text.size() + chunk.size() > kMaximumCapturedBytes) {
      full = true;
      continue;
    }
    text.append(chunk.begin(), chunk.end());
  }
  return text;
}

}  // namespace tarnel
