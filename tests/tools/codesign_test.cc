// codesign as operators and the demo use it: the built program signs sample executables in
// place, verifies them strictly against a requirement, and shows what a signature says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

using support::Signer;
using support::TemporaryFolder;

using Outcome = support::ProgramRun;

class CodesignTest : public ::testing::Test {
 protected:
  Outcome codesign(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{TARNEL_CODESIGN_PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return support::runProgram(all, {.environment = std::vector<std::string>{}});
  }

  std::string copyOf(const std::string& version) {
    const auto path = folder_.path("program-" + std::to_string(++copies_));
    std::filesystem::copy_file(support::sampleProgram(version), path);
    return path;
  }
  std::vector<std::string> signArguments(const std::string& file, const std::string& identifier,
                                         Signer signer = Signer::team) {
    const auto identity = support::signerFolder(signer);
    return {"--sign",
            "--cert",
            identity + "/certificate.pem",
            "--key",
            identity + "/key.pem",
            "--chain",
            identity + "/chain.pem",
            "--identifier",
            identifier,
            file};
  }
  Outcome verify(const std::string& file, std::optional<std::string> requirement = std::nullopt) {
    std::vector<std::string> arguments{"--verify", "--anchors", support::anchorsFolder()};
    if (requirement) arguments.insert(arguments.end(), {"--requirement", *requirement});
    arguments.push_back(file);
    return codesign(arguments);
  }

  TemporaryFolder folder_;
  int copies_ = 0;
};

constexpr const char* kTeamRequirement =
    "anchor apple generic and identifier com.quorvant.TarnelX8Helper and certificate "
    "leaf[subject.OU] = K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"7.0\"";

TEST_F(CodesignTest, SignsInPlaceAndVerifiesAgainstARequirement) {
  const auto file = copyOf("8.0");
  const auto signedRun = codesign(signArguments(file, "com.quorvant.TarnelX8Helper"));
  ASSERT_EQ(signedRun.status, 0) << signedRun.errors;
  EXPECT_EQ(verify(file).status, 0);
  const auto satisfied = verify(file, kTeamRequirement);
  EXPECT_EQ(satisfied.status, 0) << satisfied.errors;
  EXPECT_TRUE(satisfied.errors.empty());

  const auto unsatisfied = verify(file, "info [CFBundleShortVersionString] >= \"10.0\"");
  EXPECT_EQ(unsatisfied.status, 1);
  EXPECT_NE(unsatisfied.errors.find("does not satisfy"), std::string::npos) << unsatisfied.errors;

  // A requirement that does not compile never passes.
  const auto uncompiled = verify(file, "info [CFBundleShortVersionString] >= 7.0");
  EXPECT_EQ(uncompiled.status, 1);
  EXPECT_NE(uncompiled.errors.find("does not compile"), std::string::npos) << uncompiled.errors;
}

TEST_F(CodesignTest, VerifyRefusesWithTheReason) {
  const auto unsignedFile = copyOf("8.0");
  const auto appended = copyOf("8.0");
  ASSERT_EQ(codesign(signArguments(appended, "com.quorvant.TarnelX8")).status, 0);
  std::ofstream(appended, std::ios::binary | std::ios::app) << "trailing";
  const auto outside = copyOf("8.0");
  ASSERT_EQ(codesign(signArguments(outside, "com.quorvant.TarnelX8", Signer::outside)).status, 0);

  const std::pair<std::string, const char*> cases[] = {
      {unsignedFile, "not signed"},
      {appended, "not signed"},
      {outside, "not trusted"},
      {folder_.path("missing"), "No such file"},
  };
  for (const auto& [file, reason] : cases) {
    SCOPED_TRACE(file);
    const auto run = verify(file);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find(reason), std::string::npos) << run.errors;
  }
}

TEST_F(CodesignTest, SigningAgainReplacesTheSignatureAndDisplayShowsIt) {
  const auto file = copyOf("10.0");
  ASSERT_EQ(codesign(signArguments(file, "com.quorvant.First", Signer::otherTeam)).status, 0);
  ASSERT_EQ(codesign(signArguments(file, "com.quorvant.TarnelX8Helper")).status, 0);
  EXPECT_EQ(verify(file, kTeamRequirement).status, 0);

  const auto shown = codesign({"--display", file});
  ASSERT_EQ(shown.status, 0) << shown.errors;
  EXPECT_NE(shown.output.find("Identifier=com.quorvant.TarnelX8Helper\n"), std::string::npos);
  EXPECT_NE(shown.output.find("OU=K3VQ8ZT2MN"), std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("<string>10.0</string>"), std::string::npos) << shown.output;
}

TEST_F(CodesignTest, BindsAnInformationDictionaryGivenOnTheCommandLine) {
  const auto file = copyOf("none");
  auto arguments = signArguments(file, "com.quorvant.TarnelX7");
  arguments.insert(arguments.end() - 1, {"--info-plist", support::infoPlistFile("6.9")});
  ASSERT_EQ(codesign(arguments).status, 0);
  EXPECT_EQ(verify(file, "info [CFBundleShortVersionString] = \"6.9\"").status, 0);
  EXPECT_NE(codesign({"--display", file}).output.find("<string>6.9</string>"), std::string::npos);

  const auto bare = copyOf("none");
  ASSERT_EQ(codesign(signArguments(bare, "com.quorvant.TarnelX7")).status, 0);
  EXPECT_NE(codesign({"--display", bare}).output.find("Info=none"), std::string::npos);
}

TEST_F(CodesignTest, SigningFailuresLeaveTheFileAsItWas) {
  const auto file = copyOf("8.0");
  const auto before = support::fileBytes(file);
  const auto team = support::signerFolder(Signer::team);
  const auto other = support::signerFolder(Signer::otherTeam);
  const std::vector<std::string> wrongKey = {
      "--sign",           "--cert",       team + "/certificate.pem", "--key",
      other + "/key.pem", "--identifier", "com.quorvant.X",          file};
  const auto run = codesign(wrongKey);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("does not belong"), std::string::npos) << run.errors;
  auto mismatched = signArguments(file, "com.quorvant.X");
  mismatched.insert(mismatched.end() - 1, {"--info-plist", support::infoPlistFile("6.9")});
  EXPECT_EQ(codesign(mismatched).status, 1);
  EXPECT_EQ(support::fileBytes(file), before);
  // Nothing is left beside the file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.root()),
                          std::filesystem::directory_iterator()),
            1);  // the program alone
}

TEST_F(CodesignTest, RefusesCommandLinesItDoesNotUnderstand) {
  const auto file = copyOf("8.0");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {file},
      {"--verify"},
      {"--verify", "--display", file},
      {"--verify", file, file},
      {"--verify", "--anchors", file},
      {"--verify", "--requirement", "true", "--requirement", "true", file},
      {"--verify", "--key", "key.pem", file},
      {"--display", "--anchors", "/tmp", file},
      {"--sign", "--cert", "c.pem", "--key", "k.pem", file},
      {"--sign", "--cert", "c.pem", "--identifier", "id", file},
      {"--sign", "--cert", "c.pem", "--key", "k.pem", "--identifier", "id", "--anchors", "/", file},
      {"--verify", "--unknown", file},
  };
  for (const auto& arguments : cases) {
    const auto run = codesign(arguments);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(arguments);
    EXPECT_NE(run.errors.find("usage:"), std::string::npos);
  }
}

}  // namespace
}  // namespace tarnel
