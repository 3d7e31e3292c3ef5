#include "operations/file_delete.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/reply.h"
#include "tests/support/fake_platform.h"

namespace tarnel {
namespace {

using support::FakePlatform;
using ::testing::ElementsAre;

TEST(FileDeleteTest, ARemovedItemIsSuccessWithoutALogLine) {
  FakePlatform fake;
  fake.files.addFolder("/jobs");
  fake.files.addFile("/jobs/job.plist");
  Platform platform = fake.platform();

  EXPECT_TRUE(deleteFile(platform, "/jobs").has_value());
  EXPECT_THAT(fake.journal.entries(), ElementsAre("remove /jobs"));
  EXPECT_FALSE(fake.files.has("/jobs/job.plist"));
}

TEST(FileDeleteTest, AFailedRemovalIsLoggedAndAnsweredWithItsError) {
  const PlatformError denied{.domain = "NSCocoaErrorDomain",
                             .code = 513,
                             .description = "Permission denied: /jobs/job.plist"};
  const struct {
    const char* what;
    bool present;
    std::optional<PlatformError> failure;
    std::int64_t code;
  } cases[] = {
      {"missing", false, std::nullopt, 4},
      {"not removable", true, denied, 513},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    if (c.present) fake.files.addFile("/jobs/job.plist");
    if (c.failure) fake.files.failNext("remove", "/jobs/job.plist", *c.failure);
    Platform platform = fake.platform();

    const auto reply = deleteFile(platform, "/jobs/job.plist");

    ASSERT_FALSE(reply.has_value()) << c.what;
    const auto* error = reply.error().findKey(Value(0));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(*error->get<Dictionary>()->find("domain"), Value("NSCocoaErrorDomain"));
    EXPECT_EQ(*error->get<Dictionary>()->find("code"), Value(c.code)) << c.what;
    EXPECT_THAT(fake.journal.entries(),
                ElementsAre("remove /jobs/job.plist",
                            "log Tarnel X: Could not delete file: /jobs/job.plist"));
  }
}

}  // namespace
}  // namespace tarnel
