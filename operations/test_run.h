// The test run: load a written job once, give it a moment, and report what launchctl said, the
// job's last exit status text and its output file, then delete the job file and the output file.
#pragma once

#include <cstddef>
#include <string>

#include "model/action.h"
#include "operations/command_runner.h"
#include "platform/clock.h"
#include "platform/platform.h"

namespace tarnel {

// The job's moment between being loaded and being looked at.
inline constexpr Seconds kTestSettlePause{0.3};

// The output file is read only up to this size (a larger one counts as unreadable): the report
// travels in a reply frame of at most 16 MiB.
inline constexpr std::size_t kMaximumTestOutputBytes = 8 * 1024 * 1024;

// The report: what loading printed when it printed anything; otherwise the error text for a last
// exit status other than "0\n" and the output file's text, joined by "\n" when both are there.
// Both files are always deleted, job file first. Never fails. The three commands run through
// `commands`.
std::string runTestJob(Platform& platform, CommandRunner& commands, const Action::Test& test);

}  // namespace tarnel
