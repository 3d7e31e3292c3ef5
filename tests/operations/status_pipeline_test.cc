// The job-status pipeline as the helper runs it: the text through the real /bin/sh, grep and awk,
// against a stand-in launchctl that lists labels built to be confused with one another.
#include "operations/status_pipeline.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/processes.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

using support::TemporaryFolder;

// "PID<TAB>Status<TAB>Label", then one line per job, as launchctl lists them.
constexpr const char* kListingLaunchctl = R"(printf '%s\t%s\t%s\n' PID Status Label \
  - 0 com.example.job - 78 com.example.jobs - 3 com.example.job.extra - 4 comXexampleXjob \
  101 -15 'a.b*c' - 6 '[x]' - 7 Label - 8 "it's" - 9 'two words' - 10 Zürich \
  - 11 'back\slash' - 12 b - 13 -v - 14 'a$'
)";

std::string pipelineOutput(const std::string& text) {
  linux_platform::LinuxProcesses processes;
  auto output = processes.runCapturing("/bin/sh", {"-c", text});
  if (!output) return "not started";
  std::string printed;
  for (auto chunk = output->read(4096); !chunk.empty(); chunk = output->read(4096)) {
    printed.append(chunk.begin(), chunk.end());
  }
  return printed;
}

TEST(StatusPipelineTest, KeepsTheShapeOfListThroughGrepToTheSecondField) {
  EXPECT_EQ(
      statusPipelineText("/bin/launchctl", "com.quorvant.TarnelX8Helper"),
      "/bin/launchctl list | /usr/bin/grep -E -e "
      "'^(-|[0-9]+)\t-?[0-9]+\tcom\\.quorvant\\.TarnelX8Helper$' | /usr/bin/awk '{print $2}'");
}

TEST(StatusPipelineTest, PrintsOnlyTheStatusOfTheJobWhoseWholeLabelIsGiven) {
  TemporaryFolder folder;
  const auto launchctl = folder.script("launchctl", kListingLaunchctl);
  const struct {
    std::string label;
    std::string status;
  } cases[] = {
      {"com.example.job", "0\n"},  // not the jobs whose labels begin with it, nor comXexampleXjob
      {"com.example.jo", ""},
      {"com.example", ""},
      {"example.job", ""},
      {"a.b*c", "-15\n"},
      {"[x]", "6\n"},
      {"x", ""},
      {"Label", "7\n"},  // not the heading's "Status"
      {"Status", ""},
      {"it's", "8\n"},
      {"two words", "9\n"},
      {"Zürich", "10\n"},
      {"back\\slash", "11\n"},
      {"-v", "13\n"},
      {"a$", "14\n"},
      {"a\nb", ""},  // grep would take "b" for a pattern of its own
      {"0", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pipelineOutput(statusPipelineText(launchctl, c.label)), c.status) << c.label;
  }
}

}  // namespace
}  // namespace tarnel
