// Client code-signature validation: the steps, flags and releases against the fake platform,
// the once-only compilation of the client requirement, and the clients that the real Linux
// code-signing service accepts and refuses through validateConnection.
#include "trust/shared_signing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/code_signing/code_signing.h"
#include "tests/support/fake_platform.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

using support::FakeConnection;
using support::FakePlatform;
using support::PeerOptions;
using support::RunningPeer;
using support::Signer;
using support::TemporaryFolder;

constexpr const char* kClientRequirement =
    "anchor apple generic and (identifier com.quorvant.TarnelX7 or identifier "
    "com.quorvant.TarnelX7Helper or identifier com.quorvant.TarnelX7.XPCAction or identifier "
    "com.quorvant.TarnelX7.XPCPrivileged or identifier com.quorvant.TarnelX7.XPCFetch or "
    "identifier "
    "com.quorvant.TarnelX8 or identifier com.quorvant.TarnelX8Helper or identifier "
    "com.quorvant.TarnelX8.XPCAction or identifier com.quorvant.TarnelX8.XPCPrivileged or "
    "identifier com.quorvant.TarnelX8.XPCFetch or identifier com.quorvant.Mossbank12 or identifier "
    "com.quorvant.Update.updater or identifier com.quorvant.UpdateHelper2 or identifier "
    "com.quorvant.UpdateXPCAction or identifier com.quorvant.UpdateXPCPrivileged) and certificate "
    "leaf[subject.OU] = K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"7.0\"";

// Whether `validation` refused with notValidSigning.
bool refused(const std::function<SharedSigning::Result()>& validation) {
  const auto result = validation();
  if (result) return false;
  EXPECT_EQ(result.error(), SharedSigning::SigningError::notValidSigning);
  return true;
}

TEST(SharedSigningTest, AssemblesTheClientRequirementFromItsEightPieces) {
  EXPECT_EQ(SharedSigning::clientRequirementText(), kClientRequirement);
}

TEST(SharedSigningTest, ValidatesOwnCodeThenThePeerWithFlags25AndReleasesEverything) {
  FakePlatform fake;
  FakeConnection connection(fake.journal);
  Platform platform = fake.platform();
  ClientRequirement requirement;
  EXPECT_TRUE(SharedSigning::validateConnection(platform, connection, requirement).has_value());
  const std::vector<std::string> expected = {
      "copySelf flags=0",
      "copyStaticCode flags=0",
      std::string("createRequirement flags=0 ") + kClientRequirement,
      "checkValidity self flags=25",
      "copyGuest flags=0 entries=1 token=32 bytes",
      "copyStaticCode flags=0",
      "checkValidity guest flags=25",
  };
  EXPECT_EQ(fake.journal.entries(), expected);
  EXPECT_EQ(fake.codeSigning.liveObjects(), 0);

  // The requirement compiled once serves every later validation.
  fake.journal.clear();
  EXPECT_TRUE(SharedSigning::validateConnection(platform, connection, requirement).has_value());
  EXPECT_EQ(fake.codeSigning.requirementsCompiled(), 1);
  EXPECT_EQ(fake.journal.entries().size(), expected.size() - 1);
}

TEST(SharedSigningTest, RefusesOnEveryFailureAndReleasesWhatItObtained) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&, FakeConnection&)> arrange;
    const char* lastStep;
  };
  const Case cases[] = {
      {"own code not found", [](auto& f, auto&) { f.codeSigning.copySelfStatus = -1; },
       "copySelf flags=0"},
      {"own static code not found", [](auto& f, auto&) { f.codeSigning.copyStaticCodeStatus = -1; },
       "copyStaticCode flags=0"},
      {"own code not valid", [](auto& f, auto&) { f.codeSigning.selfValidityStatus = -1; },
       "checkValidity self flags=25"},
      {"no audit token", [](auto&, auto& c) { c.tokenToGive.reset(); },
       "checkValidity self flags=25"},
      {"short audit token", [](auto&, auto& c) { c.tokenToGive = Bytes(31, 1); },
       "checkValidity self flags=25"},
      {"long audit token", [](auto&, auto& c) { c.tokenToGive = Bytes(33, 1); },
       "checkValidity self flags=25"},
      {"no code for the token", [](auto& f, auto&) { f.codeSigning.copyGuestStatus = -1; },
       "copyGuest flags=0 entries=1 token=32 bytes"},
      {"client not valid", [](auto& f, auto&) { f.codeSigning.guestValidityStatus = -1; },
       "checkValidity guest flags=25"},
  };
  for (const auto& [name, arrange, lastStep] : cases) {
    SCOPED_TRACE(name);
    FakePlatform fake;
    FakeConnection connection(fake.journal);
    arrange(fake, connection);
    Platform platform = fake.platform();
    ClientRequirement requirement;
    EXPECT_TRUE(refused(
        [&] { return SharedSigning::validateConnection(platform, connection, requirement); }));
    ASSERT_FALSE(fake.journal.entries().empty());
    EXPECT_EQ(fake.journal.entries().back(), lastStep);
    EXPECT_EQ(fake.codeSigning.liveObjects(), 0);
  }
}

TEST(SharedSigningTest, AFailedCompilationStaysFailedAndIsNotRepeated) {
  FakePlatform fake;
  FakeConnection connection(fake.journal);
  Platform platform = fake.platform();
  ClientRequirement requirement;
  fake.codeSigning.createRequirementStatus = errSecCSReqInvalid;
  EXPECT_TRUE(refused([&] { return SharedSigning::validateOwnCode(platform, requirement); }));
  fake.codeSigning.createRequirementStatus = errSecSuccess;
  EXPECT_TRUE(refused([&] { return SharedSigning::validateOwnCode(platform, requirement); }));
  EXPECT_TRUE(refused(
      [&] { return SharedSigning::validateConnection(platform, connection, requirement); }));
  EXPECT_EQ(fake.codeSigning.requirementsCompiled(), 1);
  for (const auto& entry : fake.journal.entries())
    EXPECT_FALSE(entry.starts_with("checkValidity")) << entry;
  EXPECT_EQ(fake.codeSigning.liveObjects(), 0);
}

// The process-wide requirement is tried in a process of its own, started afresh, so that no
// compilation made by another test can have filled it.
TEST(SharedSigningDeathTest, TheProcessWideRequirementFailsForTheRestOfTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto failForever = [] {
    FakePlatform fake;
    FakeConnection connection(fake.journal);
    Platform platform = fake.platform();
    fake.codeSigning.createRequirementStatus = errSecCSReqInvalid;
    bool allRefused = refused([&] { return SharedSigning::validateOwnCode(platform); });
    fake.codeSigning.createRequirementStatus = errSecSuccess;
    FakePlatform another;
    Platform anotherPlatform = another.platform();
    FakeConnection anotherConnection(another.journal);
    allRefused = allRefused && refused([&] {
                   return SharedSigning::validateConnection(anotherPlatform, anotherConnection);
                 }) &&
                 refused([&] { return SharedSigning::validateOwnCode(platform); });
    const bool compiledOnce = fake.codeSigning.requirementsCompiled() == 1 &&
                              another.codeSigning.requirementsCompiled() == 0;
    std::exit(allRefused && compiledOnce ? 0 : 1);
  };
  EXPECT_EXIT(failForever(), ::testing::ExitedWithCode(0), "");
}

TEST(SharedSigningTest, TheProcessWideRequirementServesEveryPlatform) {
  for (int round = 0; round < 2; ++round) {
    FakePlatform fake;
    FakeConnection connection(fake.journal);
    Platform platform = fake.platform();
    EXPECT_TRUE(SharedSigning::validateConnection(platform, connection).has_value());
    EXPECT_EQ(fake.codeSigning.liveObjects(), 0);
  }
  FakePlatform later;
  EXPECT_NE(SharedSigning::clientRequirement().compiled(later.codeSigning), nullptr);
  EXPECT_EQ(later.codeSigning.requirementsCompiled(), 0);
}

// The Linux service, with this process's own code played by a signed helper that runs beside
// the test: the test program itself is not signed.
class SignedSelfCodeSigning : public CodeSigning {
 public:
  SignedSelfCodeSigning(linux_platform::LinuxCodeSigning& linux, Bytes selfToken)
      : linux_(linux), selfToken_(std::move(selfToken)) {}
  OSStatus createRequirement(std::string_view text, SecCSFlags flags,
                             std::unique_ptr<SecRequirement>& requirement) override {
    return linux_.createRequirement(text, flags, requirement);
  }
  OSStatus copySelf(SecCSFlags flags, std::unique_ptr<SecCode>& code) override {
    return linux_.copyGuestWithAttributes({{Value(kSecGuestAttributeAudit), Value(selfToken_)}},
                                          flags, code);
  }
  OSStatus copyGuestWithAttributes(const Dictionary& attributes, SecCSFlags flags,
                                   std::unique_ptr<SecCode>& guest) override {
    return linux_.copyGuestWithAttributes(attributes, flags, guest);
  }
  OSStatus copyStaticCode(const SecCode& code, SecCSFlags flags,
                          std::unique_ptr<SecStaticCode>& staticCode) override {
    return linux_.copyStaticCode(code, flags, staticCode);
  }
  OSStatus checkValidity(const SecStaticCode& staticCode, SecCSFlags flags,
                         const SecRequirement& requirement) override {
    return linux_.checkValidity(staticCode, flags, requirement);
  }

 private:
  linux_platform::LinuxCodeSigning& linux_;
  Bytes selfToken_;
};

class SignedClientsTest : public ::testing::Test {
 protected:
  SignedClientsTest()
      : self_(support::signedSample(folder_.path("helper"), "8.0", "com.quorvant.TarnelX8Helper")),
        signedSelf_(linux_, self_.auditToken()) {}

  std::string client(const std::string& identifier, const std::string& version = "8.0",
                     Signer signer = Signer::team) {
    return support::signedSample(folder_.path("client-" + std::to_string(++clients_)), version,
                                 identifier, signer);
  }

  // Whether a connection from `peer` is accepted, as connection acceptance asks.
  bool accepts(const RunningPeer& peer, CodeSigning& codeSigning) {
    Platform platform{fake_.processes,   fake_.files, fake_.log,           fake_.clock,
                      fake_.processExit, codeSigning, fake_.authorization, fake_.transport};
    FakeConnection connection(fake_.journal);
    connection.tokenToGive = peer.auditToken();
    ClientRequirement requirement;
    return !refused(
        [&] { return SharedSigning::validateConnection(platform, connection, requirement); });
  }
  bool accepts(const RunningPeer& peer) { return accepts(peer, signedSelf_); }

  TemporaryFolder folder_;
  FakePlatform fake_;
  linux_platform::LinuxCodeSigning linux_{support::anchorsFolder()};
  RunningPeer self_;
  SignedSelfCodeSigning signedSelf_;
  int clients_ = 0;
};

TEST_F(SignedClientsTest, AcceptsTheMakersClientsAtVersionSevenOrLater) {
  const std::pair<const char*, const char*> accepted[] = {
      {"com.quorvant.TarnelX7.XPCFetch", "8.0"},
      {"com.quorvant.TarnelX8", "8.0"},
      {"com.quorvant.Mossbank12", "8.0"},
      {"com.quorvant.UpdateXPCPrivileged", "8.0"},
      {"com.quorvant.TarnelX8.XPCPrivileged", "10.0"},
  };
  for (const auto& [identifier, version] : accepted) {
    SCOPED_TRACE(identifier);
    RunningPeer peer(client(identifier, version));
    EXPECT_TRUE(accepts(peer));
  }
}

TEST_F(SignedClientsTest, RefusesEveryOtherClient) {
  const auto changeBytes = [](const std::string& path, const std::function<void(Bytes&)>& change) {
    auto bytes = support::fileBytes(path);
    change(bytes);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  const auto unsignedCopy = folder_.path("unsigned");
  std::filesystem::copy_file(support::sampleProgram("8.0"), unsignedCopy);
  support::seal(unsignedCopy);
  const struct {
    const char* name;
    std::string program;
    PeerOptions options;
  } cases[] = {
      {"version 6.9", client("com.quorvant.TarnelX8.XPCPrivileged", "6.9"), {}},
      {"another team", client("com.quorvant.TarnelX8.XPCPrivileged", "8.0", Signer::otherTeam), {}},
      {"an identifier outside the fifteen", client("com.quorvant.TarnelX9"), {}},
      {"no signature", unsignedCopy, {}},
      {"one flipped byte in the code",
       changeBytes(client("com.quorvant.TarnelX8"),
                   [](Bytes& b) {
                     const std::string version = "<string>8.0</string>";
                     std::search(b.begin(), b.end(), version.begin(), version.end())[8] = '9';
                   }),
       {}},
      {"bytes appended after the signature",
       changeBytes(client("com.quorvant.TarnelX8"), [](Bytes& b) { b.push_back('!'); }),
       {}},
      {"a chain to a root outside the anchors",
       client("com.quorvant.TarnelX8", "8.0", Signer::outside),
       {}},
      {"installed without the platform's group",
       support::signedSample(folder_.path("ordinary"), "8.0", "com.quorvant.TarnelX8", Signer::team,
                             support::Sealing::ordinary),
       {}},
  };
  for (const auto& [name, program, options] : cases) {
    SCOPED_TRACE(name);
    RunningPeer peer(program, options);
    EXPECT_FALSE(accepts(peer));
  }
}

TEST_F(SignedClientsTest, RefusesAPeerThatExitedBeforeValidation) {
  RunningPeer peer(client("com.quorvant.TarnelX8"));
  peer.endConnection(RunningPeer::Reaping::reap);
  EXPECT_FALSE(accepts(peer));
}

TEST_F(SignedClientsTest, RefusesEveryClientWhenTheHelpersOwnCodeIsNotValid) {
  const auto unsignedHelper = folder_.path("unsigned-helper");
  std::filesystem::copy_file(support::sampleProgram("8.0"), unsignedHelper);
  RunningPeer helper(unsignedHelper);
  SignedSelfCodeSigning unsignedSelf(linux_, helper.auditToken());
  RunningPeer peer(client("com.quorvant.TarnelX8"));
  EXPECT_TRUE(accepts(peer, signedSelf_));
  EXPECT_FALSE(accepts(peer, unsignedSelf));
}

}  // namespace
}  // namespace tarnel
