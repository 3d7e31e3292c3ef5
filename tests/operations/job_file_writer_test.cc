#include "operations/job_file_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/reply.h"
#include "tests/support/fake_platform.h"

namespace tarnel {
namespace {

using support::FakePlatform;
using ::testing::ElementsAreArray;

const PlatformError kWriteError{.domain = "NSCocoaErrorDomain",
                                .code = 4,
                                .description = "No such file or directory: /missing/job.plist",
                                .recoverySuggestion = "Create the folder."};
const PlatformError kOwnerError{.domain = "NSCocoaErrorDomain",
                                .code = 513,
                                .description = "Operation not permitted: /missing/job.plist"};

TEST(JobFileWriterTest, WritesThenSetsRootWheelOnlyForPrivilegedRequests) {
  const std::string path = "/missing/job.plist";
  const struct {
    const char* what;
    Ownership ownership;
    FinalLink finalLink;
    bool writeFails;
    bool ownerFails;
    std::vector<std::string> journal;
    std::expected<void, Dictionary> reply;
    std::optional<std::string> owner;
  } cases[] = {
      {"unprivileged",
       Ownership::unchanged,
       FinalLink::follow,
       false,
       false,
       {"write " + path},
       {},
       std::nullopt},
      {"privileged",
       Ownership::rootWheel,
       FinalLink::follow,
       false,
       false,
       {"write " + path, "setOwner " + path + " root:wheel"},
       {},
       "root:wheel"},
      {"test job file",
       Ownership::rootWheel,
       FinalLink::refuse,
       false,
       false,
       {"write (no link) " + path, "setOwner " + path + " root:wheel"},
       {},
       "root:wheel"},
      {"owner not settable",
       Ownership::rootWheel,
       FinalLink::follow,
       false,
       true,
       {"write " + path, "setOwner " + path + " root:wheel",
        "log Can't set user/group to root:wheel"},
       {},
       std::nullopt},
      {"not writable, unprivileged",
       Ownership::unchanged,
       FinalLink::follow,
       true,
       false,
       {"write " + path, "log Tarnel X: Could not write to file: " + path},
       std::unexpected(makeNSErrorReply(kWriteError)),
       std::nullopt},
      {"not writable, privileged",
       Ownership::rootWheel,
       FinalLink::follow,
       true,
       false,
       {"write " + path, "log Tarnel X: Could not write to file: " + path},
       std::unexpected(makeNSErrorReply(kWriteError)),
       std::nullopt},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    if (c.writeFails) fake.files.failNext("write", path, kWriteError);
    if (c.ownerFails) fake.files.failNext("setOwner", path, kOwnerError);
    Platform platform = fake.platform();

    EXPECT_EQ(writeJobFile(platform, "<plist/>", path, c.ownership, c.finalLink), c.reply)
        << c.what;
    EXPECT_THAT(fake.journal.entries(), ElementsAreArray(c.journal)) << c.what;
    EXPECT_EQ(fake.files.contents(path),
              c.writeFails ? std::nullopt : std::optional<std::string>("<plist/>"))
        << c.what;
    EXPECT_EQ(fake.files.owner(path), c.owner) << c.what;
  }
}

TEST(JobFileWriterTest, TheFailedWriteReplyCarriesTheWholePlatformError) {
  FakePlatform fake;
  fake.files.failNext("write", "/missing/job.plist", kWriteError);
  Platform platform = fake.platform();
  EXPECT_EQ(
      writeJobFile(platform, "x", "/missing/job.plist", Ownership::unchanged, FinalLink::follow),
      std::unexpected(Dictionary{{0, Dictionary{{"domain", "NSCocoaErrorDomain"},
                                                {"code", 4},
                                                {"description", kWriteError.description},
                                                {"suggestion", "Create the folder."}}}}));
}

}  // namespace
}  // namespace tarnel
