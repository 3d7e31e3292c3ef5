#include "trust/privileged_validator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/linux/authorization/authorization.h"
#include "tests/support/fake_platform.h"
#include "tests/tools/authorityd_harness.h"

namespace tarnel {
namespace {

using support::FakePlatform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace harness = support::authorityd;

Bytes numberedBytes(std::size_t length) {
  Bytes bytes(length);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{7});
  return bytes;
}

bool refuses(FakePlatform& fake, const std::optional<Bytes>& authData) {
  Platform platform = fake.platform();
  const auto result = PrivilegedValidator::validateAuthData(platform, authData);
  return !result && result.error() == PrivilegedValidator::ValidatorError::invalidAuthData;
}

TEST(PrivilegedValidatorTest, FormsThatAreNotExactly32BytesNeverReachThePlatform) {
  const std::vector<std::optional<Bytes>> unusable = {std::nullopt,      Bytes{},
                                                      numberedBytes(1),  numberedBytes(31),
                                                      numberedBytes(33), numberedBytes(64)};
  for (const auto& authData : unusable) {
    FakePlatform fake;
    EXPECT_TRUE(refuses(fake, authData)) << (authData ? authData->size() : 999);
    EXPECT_THAT(fake.journal.entries(), IsEmpty());
  }
}

TEST(PrivilegedValidatorTest, GrantedRightPassesAndTheReferenceIsFreedWithDefaults) {
  FakePlatform fake;
  Platform platform = fake.platform();
  const Bytes form = numberedBytes(32);

  EXPECT_TRUE(PrivilegedValidator::validateAuthData(platform, form).has_value());

  EXPECT_THAT(fake.journal.entries(), ElementsAre("createFromExternalForm 32 bytes",
                                                  "copyRights count=1 flags=3", "free flags=0"));
  EXPECT_TRUE(std::equal(form.begin(), form.end(), fake.authorization.lastExternalForm().begin()));
  ASSERT_EQ(fake.authorization.lastRights().size(), 1u);
  const AuthorizationItem& right = fake.authorization.lastRights().front();
  EXPECT_EQ(right.name, "com.quorvant.TarnelX8");
  EXPECT_THAT(right.value, IsEmpty());
  EXPECT_EQ(right.flags, 0u);
  EXPECT_TRUE(fake.authorization.lastEnvironmentWasNull());
  EXPECT_EQ(fake.authorization.liveReferences(), 0);
}

TEST(PrivilegedValidatorTest, RefusedRightIsInvalidAfterTheReferenceIsFreed) {
  const OSStatus refusals[] = {-60005, -60006, -60007, -60008, -60002, 1};
  for (const OSStatus status : refusals) {
    FakePlatform fake;
    fake.authorization.copyRightsStatus = status;
    EXPECT_TRUE(refuses(fake, numberedBytes(32))) << status;
    EXPECT_THAT(fake.journal.entries(), ElementsAre("createFromExternalForm 32 bytes",
                                                    "copyRights count=1 flags=3", "free flags=0"))
        << status;
    EXPECT_EQ(fake.authorization.liveReferences(), 0) << status;
  }
}

TEST(PrivilegedValidatorTest, FormThePlatformDoesNotAcceptAsksNothingAndFreesNothing) {
  FakePlatform rejected;
  rejected.authorization.createStatus = -60002;
  EXPECT_TRUE(refuses(rejected, numberedBytes(32)));
  EXPECT_THAT(rejected.journal.entries(), ElementsAre("createFromExternalForm 32 bytes"));

  FakePlatform nullReference;
  nullReference.authorization.createYieldsNull = true;
  EXPECT_TRUE(refuses(nullReference, numberedBytes(32)));
  EXPECT_THAT(nullReference.journal.entries(), ElementsAre("createFromExternalForm 32 bytes"));
}

// The check against a real authorization server: it passes exactly for the forms whose
// authorization its rule grants the right.
TEST(PrivilegedValidatorTest, AgainstAuthoritydPassesOnlyForGrantedForms) {
  support::TemporaryFolder folder;
  harness::Authorityd server(folder.root());
  linux_platform::LinuxAuthorization authorization(server.socketPath());
  FakePlatform fake;
  Platform platform = fake.platform();
  Platform withServer{platform.processes, platform.files,       platform.log,
                      platform.clock,     platform.processExit, platform.codeSigning,
                      authorization,      platform.transport};
  const auto passes = [&](const std::optional<AuthorizationExternalForm>& form) {
    if (!form) return false;
    return PrivilegedValidator::validateAuthData(withServer, Bytes(form->begin(), form->end()))
        .has_value();
  };
  struct Case {
    const char* rule;  // nullptr: no rule file
    uid_t user;
    harness::CreatorStep step;
    bool expected;
  };
  const Case cases[] = {
      {"rule allow", harness::kNobody, harness::CreatorStep::none, true},
      {"rule admin", 0, harness::CreatorStep::none, true},
      {"rule admin", harness::kNobody, harness::CreatorStep::none, false},
      {"rule deny", 0, harness::CreatorStep::none, false},
      {nullptr, 0, harness::CreatorStep::none, false},
      {"rule allow", harness::kNobody, harness::CreatorStep::freeIt, false},
  };
  for (const Case& each : cases) {
    std::filesystem::remove(server.rulesFolder() / PrivilegedValidator::rightName);
    if (each.rule) server.writeRule(PrivilegedValidator::rightName, each.rule);
    harness::Creator creator(server.socketPath(), each.user, each.step);
    ASSERT_TRUE(creator.form());
    EXPECT_EQ(passes(creator.form()), each.expected)
        << (each.rule ? each.rule : "no rule") << ", user " << each.user;
  }
}

}  // namespace
}  // namespace tarnel
