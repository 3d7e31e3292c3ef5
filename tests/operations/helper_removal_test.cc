#include "operations/helper_removal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_command_runner.h"
#include "tests/support/fake_platform.h"

namespace tarnel {
namespace {

using support::FakePlatform;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using CommandLine = std::vector<std::string>;

constexpr const char* kLaunchctl = "/bin/launchctl";
const std::string kHelperJob = "/Library/LaunchDaemons/com.quorvant.TarnelX8Helper";
const CommandLine kUnload{kLaunchctl, "unload", "-w", kHelperJob};
const CommandLine kRemove{kLaunchctl, "remove", "com.quorvant.TarnelX8Helper"};

TEST(UnloadHelperJobTest, UnloadsAnExistingJobFileThenAlwaysRemovesTheLabel) {
  const struct {
    const char* what;
    std::vector<std::string> filesPresent;
    std::optional<int> unloadStatus;
    std::optional<int> removeStatus;
    std::vector<CommandLine> started;
    bool logged;
  } cases[] = {
      {"no job file", {}, 0, 0, {kRemove}, false},
      {"a job file with an extension is not the helper job path",
       {kHelperJob + ".plist"},
       0,
       0,
       {kRemove},
       false},
      {"unloaded", {kHelperJob}, 0, 0, {kUnload, kRemove}, false},
      {"unload fails", {kHelperJob}, 1, 0, {kUnload, kRemove}, true},
      {"unload cannot start", {kHelperJob}, std::nullopt, 0, {kUnload, kRemove}, true},
      {"label removal fails", {kHelperJob}, 0, 3, {kUnload, kRemove}, false},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    for (const auto& path : c.filesPresent) fake.files.addFile(path);
    fake.processes.scriptRun(kUnload, c.unloadStatus);
    fake.processes.scriptRun(kRemove, c.removeStatus);
    Platform platform = fake.platform();
    support::FakeCommandRunner commands(platform, kLaunchctl);

    unloadHelperJob(platform, commands);

    EXPECT_THAT(fake.processes.started(), ElementsAreArray(c.started)) << c.what;
    std::vector<std::string> journal{"exists " + kHelperJob};
    if (c.started.size() == 2) journal.push_back(support::journalLine("run", kUnload));
    if (c.logged) journal.push_back("log Tarnel X: Could not unload path: " + kHelperJob);
    journal.push_back(support::journalLine("run", kRemove));
    EXPECT_THAT(fake.journal.entries(), ElementsAreArray(journal)) << c.what;
  }
}

TEST(RemoveStaleItemsTest, RemovesExactlyTheListedItemsWithTheMakersPrefix) {
  for (const std::string directory : {"/Library/LaunchDaemons/", "/Library/LaunchDaemons"}) {
    FakePlatform fake;
    const std::string root = "/Library/LaunchDaemons";
    fake.files.addFolder(root);
    for (const auto* name : {"com.quorvant.TarnelX8.plist", "com.quorvant", "org.example.job",
                             "com.quorvant.", "Com.Quorvant.job", "com.quorvantX.job"}) {
      fake.files.addFile(root + "/" + name);
    }
    fake.files.addFile(root + "/.com.quorvant.hidden");
    fake.files.addFolder(root + "/com.quorvant.folder");
    fake.files.addFile(root + "/com.quorvant.folder/inner");
    fake.files.addFolder(root + "/other");
    fake.files.addFile(root + "/other/com.quorvant.inside");
    Platform platform = fake.platform();

    EXPECT_TRUE(removeStaleItems(platform, directory).has_value()) << directory;

    for (const auto* gone : {"com.quorvant.TarnelX8.plist", "com.quorvant.", "com.quorvant.folder",
                             "com.quorvant.folder/inner"}) {
      EXPECT_FALSE(fake.files.has(root + "/" + gone)) << directory << gone;
    }
    for (const auto* kept :
         {"com.quorvant", "org.example.job", "Com.Quorvant.job", "com.quorvantX.job",
          ".com.quorvant.hidden", "other", "other/com.quorvant.inside"}) {
      EXPECT_TRUE(fake.files.has(root + "/" + kept)) << directory << kept;
    }
  }
}

TEST(RemoveStaleItemsTest, AFolderThatCannotBeListedIsSuccessWithNothingRemoved) {
  FakePlatform fake;
  Platform platform = fake.platform();
  EXPECT_TRUE(removeStaleItems(platform, "/Library/PrivilegedHelperTools/").has_value());
  EXPECT_THAT(fake.journal.entries(), ElementsAre("list /Library/PrivilegedHelperTools/"));
}

TEST(RemoveStaleItemsTest, TheFirstFailedRemovalStopsTheCleanUpAndIsReturned) {
  FakePlatform fake;
  const std::string root = "/Library/PrivilegedHelperTools/";
  fake.files.addFolder(root);
  for (const auto* name : {"com.quorvant.a", "com.quorvant.b", "com.quorvant.c"}) {
    fake.files.addFile(root + name);
  }
  const PlatformError busy{.domain = "NSCocoaErrorDomain",
                           .code = 513,
                           .description = "Operation not permitted: " + root + "com.quorvant.b"};
  fake.files.failNext("remove", root + "com.quorvant.b", busy);
  Platform platform = fake.platform();

  const auto result = removeStaleItems(platform, root);

  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), busy);
  EXPECT_FALSE(fake.files.has(root + "com.quorvant.a"));
  EXPECT_TRUE(fake.files.has(root + "com.quorvant.b"));
  EXPECT_TRUE(fake.files.has(root + "com.quorvant.c"));
  EXPECT_THAT(fake.journal.entries(),
              ElementsAre("list " + root, "remove " + root + "com.quorvant.a",
                          "remove " + root + "com.quorvant.b"));
}

}  // namespace
}  // namespace tarnel
