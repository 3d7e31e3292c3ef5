#include "operations/test_run.h"

#include "operations/file_delete.h"

namespace tarnel {

namespace {

constexpr std::string_view kCleanExitStatus = "0\n";

// The job's last exit status as the status pipeline prints it, and launchctl's text for it when
// it is not a clean exit: the report's first part, possibly empty.
std::string exitStatusText(CommandRunner& commands, const std::string& label) {
  const auto status = commands.runCapturingOutput(CaptureCommand::exitStatus, label);
  if (status.empty() || status == kCleanExitStatus) return {};
  return commands.runCapturingOutput(CaptureCommand::errorText, status);
}

}  // namespace

std::string runTestJob(Platform& platform, CommandRunner& commands, const Action::Test& test) {
  auto report = commands.runCapturingOutput(CaptureCommand::loadJob, test.testPath);
  platform.clock.sleep(kTestSettlePause);

  if (report.empty()) {
    report = exitStatusText(commands, test.label);
    // Only a regular file is read: the client names this path, and a FIFO or a device there
    // would hold the helper forever.
    if (const auto output = platform.files.readText(test.testOutputPath, kMaximumTestOutputBytes)) {
      if (!report.empty()) report += '\n';
      report += *output;
    }
  }

  // Each failure is logged by deleteFile; the report does not change for it.
  deleteFile(platform, test.testPath);
  deleteFile(platform, test.testOutputPath);
  return report;
}

}  // namespace tarnel
