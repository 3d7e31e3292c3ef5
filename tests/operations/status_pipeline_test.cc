#include "operations/status_pipeline.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnel {
namespace {

const std::string kList = "/bin/launchctl list | /usr/bin/grep ";
const std::string kAwk = " | /usr/bin/awk '{print $2}'";

TEST(StatusPipelineTest, AnOrdinaryLabelStandsInTheTextAsItIs) {
  for (const std::string label :
       {"com.quorvant.TarnelX8Helper", "a", "0", "A-b_c.9", "job-", "x--y", "..."}) {
    EXPECT_EQ(statusPipelineText("/bin/launchctl", label), kList + label + kAwk) << label;
  }
}

TEST(StatusPipelineTest, AnyOtherLabelIsQuotedAfterThePatternOption) {
  const struct {
    std::string label;
    std::string quoted;
  } cases[] = {
      {"", "-e ''"},
      {"-v", "-e '-v'"},
      {"--help", "-e '--help'"},
      {"two words", "-e 'two words'"},
      {"x; rm -rf /", "-e 'x; rm -rf /'"},
      {"$(id)`id`", "-e '$(id)`id`'"},
      {"it's", "-e 'it'\\''s'"},
      {"''", "-e ''\\'''\\'''"},
      {"a\nb", "-e 'a\nb'"},
      {"Zürich", "-e 'Zürich'"},
      {"a/b", "-e 'a/b'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(statusPipelineText("/bin/launchctl", c.label), kList + c.quoted + kAwk) << c.label;
  }
}

}  // namespace
}  // namespace tarnel
