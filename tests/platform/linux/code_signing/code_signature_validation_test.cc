// Signed executables as they lie on disk: signed with the test identity, then validated, after
// every kind of damage that validation must refuse, with the status it reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/code_signature.h"
#include "platform/linux/code_signing/code_signer.h"
#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/signed_data.h"
#include "platform/linux/posix/unique_fd.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

using support::Signer;
using support::TemporaryFolder;

constexpr SecCSFlags kStrict =
    kSecCSCheckAllArchitectures | kSecCSCheckNestedCode | kSecCSStrictValidate;
constexpr const char* kIdentifier = "com.quorvant.TarnelX8.XPCPrivileged";

std::expected<RequirementContext, SigningFailure> validate(
    const std::string& path, SecCSFlags flags = kStrict,
    const std::string& anchors = support::anchorsFolder()) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::unexpected(SigningFailure{errSecCSStaticCodeNotFound, "cannot open"});
  return validateSignedFile(fd.get(), anchors, flags);
}

OSStatus statusOf(const std::expected<RequirementContext, SigningFailure>& result) {
  return result ? errSecSuccess : result.error().status;
}

void rewrite(const std::string& path, const std::function<void(Bytes&)>& change) {
  auto bytes = support::fileBytes(path);
  change(bytes);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The signature of a signed file, rebuilt by hand around `code` with a directory of the test's
// making, for what the signing tool never writes.
void signByHand(const std::string& path, const Bytes& code, const Bytes& directory) {
  const auto blob = signData(support::signingIdentity(Signer::team), directory);
  ASSERT_TRUE(blob.has_value());
  Bytes file = code;
  file.insert(file.end(), blob->begin(), blob->end());
  const auto trailer =
      SignatureTrailer{.codeLength = code.size(), .blobLength = blob->size()}.encode();
  file.insert(file.end(), trailer.begin(), trailer.end());
  rewrite(path, [&](Bytes& bytes) { bytes = file; });
}

CodeDirectory directoryFor(const Bytes& code, std::optional<Bytes> info) {
  CodeDirectory directory{
      .identifier = kIdentifier, .codeLength = code.size(), .infoPlist = std::move(info)};
  TemporaryFolder folder;
  const auto path = folder.file("code", std::string(code.begin(), code.end()));
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  directory.codeHash = *hashCode(fd.get(), code.size());
  return directory;
}

class SignedFileTest : public ::testing::Test {
 protected:
  std::string signedCopy(const std::string& version = "8.0", Signer signer = Signer::team,
                         const std::string& identifier = kIdentifier) {
    return support::signedSample(folder_.path("client-" + std::to_string(++copies_)), version,
                                 identifier, signer);
  }
  TemporaryFolder folder_;
  int copies_ = 0;
};

TEST_F(SignedFileTest, ValidSignatureEstablishesIdentifierChainAndInformation) {
  const auto path = signedCopy();
  const auto validated = validate(path);
  ASSERT_TRUE(validated.has_value()) << validated.error().reason;
  EXPECT_TRUE(validated->anchored);
  EXPECT_EQ(validated->identifier, kIdentifier);
  ASSERT_EQ(validated->chain.size(), 3u);
  EXPECT_NE(std::ranges::find(validated->chain[0].subject,
                              std::pair<std::string, std::string>("OU", "K3VQ8ZT2MN")),
            validated->chain[0].subject.end());
  const Value* version = validated->info.find("CFBundleShortVersionString");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(*version, Value("8.0"));
  // The signed file stays a runnable executable with its mode.
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_exec,
            std::filesystem::perms::owner_exec);
}

TEST_F(SignedFileTest, RefusesEveryDamageWithItsStatus) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    OSStatus status;
  };
  const auto trailerAt = [](Bytes& bytes) { return bytes.size() - kSignatureTrailerLength; };
  const Case cases[] = {
      {"one flipped byte in the code", [](Bytes& b) { b[b.size() / 4] ^= 0x01; },
       errSecCSSignatureFailed},
      {"one flipped byte in the info section",
       [](Bytes& b) {
         const std::string marker = "<string>8.0</string>";
         const auto at = std::search(b.begin(), b.end(), marker.begin(), marker.end());
         ASSERT_NE(at, b.end());
         at[8] = '9';
       },
       errSecCSSignatureFailed},
      {"bytes appended after the trailer",
       [](Bytes& b) {
         b.insert(b.end(), {'x', 'y', 'z'});
       },
       errSecCSUnsigned},
      {"a whole second trailer appended",
       [&](Bytes& b) { b.insert(b.end(), b.end() - kSignatureTrailerLength, b.end()); },
       errSecCSSignatureInvalid},
      {"the trailer's last byte cut off", [](Bytes& b) { b.pop_back(); }, errSecCSUnsigned},
      {"trailer flags set", [&](Bytes& b) { b[trailerAt(b) + 12] = 1; }, errSecCSSignatureInvalid},
      {"trailer of another version", [&](Bytes& b) { b[trailerAt(b) + 8] = 2; },
       errSecCSSignatureInvalid},
      {"signature cut to nothing",
       [&](Bytes& b) {
         const auto trailer = Bytes(b.end() - kSignatureTrailerLength, b.end());
         b.resize(b.size() - kSignatureTrailerLength);
         b.resize(b.size() - 200);
         b.insert(b.end(), trailer.begin(), trailer.end());
       },
       errSecCSSignatureInvalid},
  };
  for (const auto& [name, damage, status] : cases) {
    SCOPED_TRACE(name);
    const auto path = signedCopy();
    rewrite(path, damage);
    EXPECT_EQ(statusOf(validate(path)), status);
  }
}

TEST_F(SignedFileTest, RefusesADamagedSignatureBlob) {
  const auto path = signedCopy();
  // The last bytes of the blob are those of the signature value itself.
  rewrite(path, [](Bytes& b) { b[b.size() - kSignatureTrailerLength - 1] ^= 0x01; });
  EXPECT_NE(statusOf(validate(path)), errSecSuccess);
}

TEST_F(SignedFileTest, TrustsOnlyChainsToTheAnchorsAndOnlyCodeSigningCertificates) {
  EXPECT_EQ(statusOf(validate(signedCopy("8.0", Signer::outside))), errSecCSSignatureNotVerifiable);
  // Another team's signature is valid; the requirement decides about the team.
  const auto otherTeam = validate(signedCopy("8.0", Signer::otherTeam));
  ASSERT_TRUE(otherTeam.has_value());
  EXPECT_EQ(otherTeam->chain[0].subject[1],
            (std::pair<std::string, std::string>("OU", "Z7QWERTY12")));

  TemporaryFolder emptyAnchors;
  EXPECT_EQ(statusOf(validate(signedCopy(), kStrict, emptyAnchors.root())),
            errSecCSSignatureNotVerifiable);
  EXPECT_EQ(statusOf(validate(signedCopy(), kStrict, emptyAnchors.path("missing"))),
            errSecCSSignatureNotVerifiable);
  // The outside root among the anchors makes the outside chain trusted.
  TemporaryFolder bothRoots;
  std::filesystem::copy_file(support::anchorsFolder() + "/root.pem", bothRoots.path("root.pem"));
  std::filesystem::copy_file(support::signingPath("identity/ca/outside-root.pem"),
                             bothRoots.path("outside.pem"));
  EXPECT_EQ(statusOf(validate(signedCopy("8.0", Signer::outside), kStrict, bothRoots.root())),
            errSecSuccess);
}

// An anchors folder that others may write lets any user plant a root of their own and have code
// signed under it trusted. The planted root is trusted where only root could have put it (the
// folders here lie under /tmp, writable by all but sticky, which passes), and refused, naming the
// item at fault, wherever someone else could have.
TEST_F(SignedFileTest, APlantedRootIsTrustedOnlyWhereOnlyRootCouldHavePutIt) {
  constexpr uid_t kNobody = 65534;
  const struct {
    const char* name;
    std::function<void(const std::string& above, const std::string& anchors)> mistake;
    const char* item;  // "" when the root is trusted
    const char* fault;
  } cases[] = {
      {"only root can write the folders and the anchor", [](auto&, auto&) {}, "", ""},
      {"the folder writable by others",
       [](auto&, auto& anchors) { ::chmod(anchors.c_str(), 0777); }, "/above/anchors",
       " is writable by others"},
      {"the folder writable by others, sticky",
       [](auto&, auto& anchors) { ::chmod(anchors.c_str(), 01777); }, "/above/anchors",
       " is writable by others"},
      {"the folder writable by its group",
       [](auto&, auto& anchors) { ::chmod(anchors.c_str(), 0775); }, "/above/anchors",
       " is writable by its group"},
      {"the folder owned by another user",
       [](auto&, auto& anchors) { ASSERT_EQ(::chown(anchors.c_str(), kNobody, 0), 0); },
       "/above/anchors", " is owned by user 65534, not root"},
      {"a folder above writable by others",
       [](auto& above, auto&) { ::chmod(above.c_str(), 0777); }, "/above",
       " is writable by others"},
      {"a folder above owned by another user",
       [](auto& above, auto&) { ASSERT_EQ(::chown(above.c_str(), kNobody, 0), 0); }, "/above",
       " is owned by user 65534, not root"},
      {"the folder reached through a link",
       [](auto& above, auto&) {
         std::filesystem::rename(above, above + "-real");
         std::filesystem::create_symlink(above + "-real", above);
       },
       "/above", " is a symbolic link"},
      {"the anchor writable by others",
       [](auto&, auto& anchors) { ::chmod((anchors + "/planted.pem").c_str(), 0666); },
       "/above/anchors/planted.pem", " is writable by others"},
      {"the anchor owned by another user",
       [](auto&, auto& anchors) {
         ASSERT_EQ(::chown((anchors + "/planted.pem").c_str(), kNobody, 0), 0);
       },
       "/above/anchors/planted.pem", " is owned by user 65534, not root"},
  };
  const auto planted = signedCopy("8.0", Signer::outside);
  for (const auto& mistake : cases) {
    SCOPED_TRACE(mistake.name);
    TemporaryFolder folder;
    const auto above = folder.folder("above");
    const auto anchors = folder.folder("above/anchors");
    ::chmod(above.c_str(), 0755);
    ::chmod(anchors.c_str(), 0755);
    std::filesystem::copy_file(support::signingPath("identity/ca/outside-root.pem"),
                               anchors + "/planted.pem");
    ::chmod((anchors + "/planted.pem").c_str(), 0644);
    mistake.mistake(above, anchors);
    const auto validated = validate(planted, kStrict, anchors);
    if (*mistake.item == '\0') {
      EXPECT_TRUE(validated.has_value());
      continue;
    }
    ASSERT_FALSE(validated.has_value());
    EXPECT_EQ(validated.error().status, errSecCSSignatureNotVerifiable);
    EXPECT_NE(validated.error().reason.find(folder.root() + mistake.item + mistake.fault),
              std::string::npos)
        << validated.error().reason;
  }
}

TEST_F(SignedFileTest, RefusesUnsignedCodeAndUnknownFlags) {
  const auto path = folder_.path("unsigned");
  std::filesystem::copy_file(support::sampleProgram("8.0"), path);
  EXPECT_EQ(statusOf(validate(path)), errSecCSUnsigned);
  EXPECT_EQ(statusOf(validate(signedCopy(), kStrict | 2)), errSecCSInvalidFlags);
  EXPECT_EQ(statusOf(validate(folder_.file("text", "not an executable"))), errSecCSBadObjectFormat);
}

TEST_F(SignedFileTest, SigningAgainReplacesTheEarlierSignature) {
  const auto path = signedCopy("8.0", Signer::otherTeam, "com.quorvant.First");
  const auto onceSigned = std::filesystem::file_size(path);
  ASSERT_TRUE(signFile(support::signingIdentity(Signer::team),
                       {.file = path, .identifier = "com.quorvant.Second"}));
  const auto validated = validate(path);
  ASSERT_TRUE(validated.has_value()) << validated.error().reason;
  EXPECT_EQ(validated->identifier, "com.quorvant.Second");
  EXPECT_EQ(validated->chain[0].subject[1],
            (std::pair<std::string, std::string>("OU", "K3VQ8ZT2MN")));
  const auto twiceSigned = std::filesystem::file_size(path);
  EXPECT_LT(twiceSigned, onceSigned + 100);  // one signature, not two: the team's is no longer
  EXPECT_GT(twiceSigned + 100, onceSigned);
}

TEST_F(SignedFileTest, SigningRefusesWhatItCannotSignSoundly) {
  const auto identity = support::signingIdentity(Signer::team);
  const auto text = folder_.file("script", "#!/bin/sh\necho hi\n", 0755);
  EXPECT_FALSE(signFile(identity, {.file = text, .identifier = kIdentifier}));
  EXPECT_EQ(support::fileBytes(text).size(), 18u);

  // Unknown data behind the image would be signed without anyone knowing what it is.
  const auto padded = folder_.path("padded");
  std::filesystem::copy_file(support::sampleProgram("8.0"), padded);
  rewrite(padded, [](Bytes& b) { b.insert(b.end(), 64, 0); });
  EXPECT_FALSE(signFile(identity, {.file = padded, .identifier = kIdentifier}));

  const auto program = folder_.path("program");
  std::filesystem::copy_file(support::sampleProgram("8.0"), program);
  EXPECT_FALSE(signFile(identity, {.file = program, .identifier = ""}));
  // An information dictionary given that differs from the embedded one.
  EXPECT_FALSE(
      signFile(identity, {.file = program,
                          .identifier = kIdentifier,
                          .infoPlist = support::fileBytes(support::infoPlistFile("6.9"))}));
  EXPECT_FALSE(
      signFile(identity, {.file = program, .identifier = kIdentifier, .infoPlist = Bytes{'x'}}));
  EXPECT_EQ(statusOf(validate(program)), errSecCSUnsigned);
  // The same one as embedded is fine.
  EXPECT_TRUE(signFile(identity, {.file = program,
                                  .identifier = kIdentifier,
                                  .infoPlist = support::fileBytes(support::infoPlistFile("8.0"))}));
}

TEST_F(SignedFileTest, BindsAGivenInformationDictionaryToCodeWithoutOne) {
  const auto path = folder_.path("bare");
  std::filesystem::copy_file(support::sampleProgram("none"), path);
  ASSERT_TRUE(signFile(support::signingIdentity(Signer::team),
                       {.file = path,
                        .identifier = kIdentifier,
                        .infoPlist = support::fileBytes(support::infoPlistFile("6.9"))}));
  const auto validated = validate(path);
  ASSERT_TRUE(validated.has_value()) << validated.error().reason;
  EXPECT_EQ(*validated->info.find("CFBundleShortVersionString"), Value("6.9"));

  const auto withoutInfo = signedCopy("none");
  const auto bare = validate(withoutInfo);
  ASSERT_TRUE(bare.has_value());
  EXPECT_TRUE(bare->info.empty());
}

TEST_F(SignedFileTest, StrictValidationRefusesUnknownPartsThatLenientPassesOver) {
  const auto program = support::fileBytes(support::sampleProgram("8.0"));
  const auto info = support::fileBytes(support::infoPlistFile("8.0"));

  // Unsigned-for data between the executable's image and its signature.
  auto padded = program;
  padded.insert(padded.end(), 16, 0);
  const auto gap = folder_.path("gap");
  signByHand(gap, padded, directoryFor(padded, info).encode());

  // A code directory entry of a type this version does not know.
  auto directory = directoryFor(program, info).encode();
  directory[12] += 1;
  appendCodeDirectoryEntry(directory, 77, Bytes{1, 2, 3});
  const auto unknownEntry = folder_.path("unknown-entry");
  signByHand(unknownEntry, program, directory);

  for (const auto& path : {gap, unknownEntry}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(statusOf(validate(path)), errSecCSSignatureInvalid);
    EXPECT_EQ(statusOf(validate(path, kSecCSDefaultFlags)), errSecSuccess);
  }
}

TEST_F(SignedFileTest, RefusesAnInformationDictionaryOtherThanTheEmbeddedOne) {
  const auto program = support::fileBytes(support::sampleProgram("8.0"));
  const struct {
    const char* name;
    std::optional<Bytes> bound;
  } cases[] = {
      {"another dictionary", support::fileBytes(support::infoPlistFile("10.0"))},
      {"none at all", std::nullopt},
  };
  for (const auto& [name, bound] : cases) {
    SCOPED_TRACE(name);
    const auto path = folder_.path("info-mismatch");
    signByHand(path, program, directoryFor(program, bound).encode());
    EXPECT_EQ(statusOf(validate(path)), errSecCSInfoPlistFailed);
  }
  // A bound dictionary that is no property list is refused even without an embedded one.
  const auto bare = support::fileBytes(support::sampleProgram("none"));
  const auto path = folder_.path("bad-info");
  signByHand(path, bare, directoryFor(bare, Bytes{'<', 'x'}).encode());
  EXPECT_EQ(statusOf(validate(path)), errSecCSInfoPlistFailed);
}

TEST_F(SignedFileTest, DescribesWhatTheSignatureClaims) {
  const auto path = signedCopy("6.9", Signer::outside, "com.quorvant.Described");
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const auto description = describeSignature(fd.get());
  ASSERT_TRUE(description.has_value()) << description.error().reason;
  EXPECT_EQ(description->identifier, "com.quorvant.Described");
  EXPECT_NE(description->signerSubject.find("OU=K3VQ8ZT2MN"), std::string::npos);
  EXPECT_EQ(description->infoPlist, support::fileBytes(support::infoPlistFile("6.9")));
}

}  // namespace
}  // namespace tarnel::linux_platform
