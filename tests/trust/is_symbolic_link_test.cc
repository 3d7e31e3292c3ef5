#include "trust/is_symbolic_link.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

TEST(IsSymbolicLinkTest, OnlyALinkItselfIsALinkAndEveryFailureIsNot) {
  support::TemporaryFolder folder;
  const auto file = folder.file("job.plist", "<plist/>");
  const auto sub = folder.folder("sub");
  const struct {
    std::string path;
    bool isLink;
  } cases[] = {
      {file, false},
      {sub, false},
      {folder.fifo("fifo"), false},
      {folder.path("missing"), false},
      {folder.path("missing/below"), false},
      {"", false},
      {folder.link("to-file", file), true},
      {folder.link("to-sub", sub), true},
      {folder.path("to-sub/"), true},
      {folder.link("dangling", folder.path("nowhere")), true},
      {folder.link("loop", folder.path("loop")), true},
  };
  support::FakePlatform fake;
  linux_platform::LinuxFiles files;
  Platform platform{
      fake.processes,     files,         fake.log, fake.clock, fake.processExit, fake.codeSigning,
      fake.authorization, fake.transport};
  for (const auto& c : cases) {
    EXPECT_EQ(isSymbolicLink(platform, c.path), c.isLink) << c.path;
  }
}

}  // namespace
}  // namespace tarnel
