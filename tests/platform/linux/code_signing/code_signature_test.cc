// The pieces of the signature format on their own: the code directory's encoding and what
// parsing it refuses, the trailer, and the ELF layout that a signature is placed behind.
#include "platform/linux/code_signing/code_signature.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/posix/unique_fd.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

using support::TemporaryFolder;

CodeDirectory sampleDirectory() {
  CodeDirectory directory{.identifier = "com.quorvant.TarnelX8", .codeLength = 16352};
  directory.codeHash.fill(0xab);
  directory.infoPlist = Bytes{'<', 'p', '/', '>'};
  return directory;
}

// A code directory written entry by entry, for the malformed ones that encode() never makes.
Bytes handMadeDirectory(const std::vector<std::pair<std::uint32_t, Bytes>>& entries,
                        std::uint32_t version = kCodeDirectoryVersion) {
  Bytes bytes(std::begin(kCodeDirectoryMagic), std::end(kCodeDirectoryMagic));
  appendLittleEndian(bytes, version, 4);
  appendLittleEndian(bytes, entries.size(), 4);
  for (const auto& [type, data] : entries) appendCodeDirectoryEntry(bytes, type, data);
  return bytes;
}

std::vector<std::pair<std::uint32_t, Bytes>> requiredEntries() {
  Bytes length;
  appendLittleEndian(length, 100, 8);
  return {{1, Bytes{'i', 'd'}}, {2, Bytes{kHashTypeSha256}}, {3, length}, {4, Bytes(32, 7)}};
}

TEST(CodeDirectory, EncodesAndParsesBackUnchanged) {
  const auto directory = sampleDirectory();
  for (const auto strictness : {Strictness::strict, Strictness::lenient}) {
    const auto parsed = parseCodeDirectory(directory.encode(), strictness);
    ASSERT_TRUE(parsed.has_value()) << describe(parsed.error());
    EXPECT_EQ(*parsed, directory);
  }
  auto withoutInfo = directory;
  withoutInfo.infoPlist.reset();
  EXPECT_EQ(parseCodeDirectory(withoutInfo.encode(), Strictness::strict), withoutInfo);
}

TEST(CodeDirectory, RefusesMalformedDirectoriesAndUnknownPartsWhenStrict) {
  auto unknownEntry = requiredEntries();
  unknownEntry.push_back({99, Bytes{1, 2, 3}});
  auto repeated = requiredEntries();
  repeated.push_back({1, Bytes{'x'}});
  auto missingHash = requiredEntries();
  missingHash.pop_back();
  auto otherHashType = requiredEntries();
  otherHashType[1].second = Bytes{2};
  auto shortHash = requiredEntries();
  shortHash[3].second = Bytes(31, 7);
  auto emptyIdentifier = requiredEntries();
  emptyIdentifier[0].second = Bytes{};
  auto identifierWithNul = requiredEntries();
  identifierWithNul[0].second = Bytes{'a', 0, 'b'};
  auto trailingBytes = handMadeDirectory(requiredEntries());
  trailingBytes.push_back(0);
  auto truncated = handMadeDirectory(requiredEntries());
  truncated.pop_back();
  auto badMagic = handMadeDirectory(requiredEntries());
  badMagic[0] = 'X';
  auto hugeCount = handMadeDirectory(requiredEntries());
  hugeCount[12] = 0xff;

  struct Case {
    const char* name;
    Bytes bytes;
    bool strictAccepts;
    bool lenientAccepts;
  };
  const Case cases[] = {
      {"well formed", handMadeDirectory(requiredEntries()), true, true},
      {"unknown entry", handMadeDirectory(unknownEntry), false, true},
      {"bytes after the entries", trailingBytes, false, true},
      {"repeated entry", handMadeDirectory(repeated), false, false},
      {"no code hash", handMadeDirectory(missingHash), false, false},
      {"unknown hash type", handMadeDirectory(otherHashType), false, false},
      {"short hash", handMadeDirectory(shortHash), false, false},
      {"empty identifier", handMadeDirectory(emptyIdentifier), false, false},
      {"identifier with NUL", handMadeDirectory(identifierWithNul), false, false},
      {"truncated entry", truncated, false, false},
      {"other magic", badMagic, false, false},
      {"other version", handMadeDirectory(requiredEntries(), 2), false, false},
      {"absurd entry count", hugeCount, false, false},
      {"empty", Bytes{}, false, false},
  };
  for (const auto& [name, bytes, strictAccepts, lenientAccepts] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(parseCodeDirectory(bytes, Strictness::strict).has_value(), strictAccepts);
    EXPECT_EQ(parseCodeDirectory(bytes, Strictness::lenient).has_value(), lenientAccepts);
  }
}

// A file of `code` followed by `blobLength` bytes and a trailer, or other bytes in the place
// of the trailer.
class TrailerFile {
 public:
  explicit TrailerFile(const Bytes& contents) {
    path_ = folder_.file("signed", std::string(contents.begin(), contents.end()));
    fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  }
  auto read() const { return readSignatureTrailer(fd_.get(), std::filesystem::file_size(path_)); }

 private:
  TemporaryFolder folder_;
  std::string path_;
  UniqueFd fd_;
};

Bytes withTrailer(std::size_t code, std::size_t blob, SignatureTrailer trailer) {
  Bytes bytes(code + blob, 0x5a);
  const auto encoded = trailer.encode();
  bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  return bytes;
}

TEST(SignatureTrailer, LocatesTheBlobOnlyWhenItAccountsForTheWholeFile) {
  const auto found =
      TrailerFile(withTrailer(100, 20, {.codeLength = 100, .blobLength = 20})).read();
  ASSERT_TRUE(found.has_value());
  ASSERT_TRUE(found->has_value());
  EXPECT_EQ((*found)->codeLength, 100u);
  EXPECT_EQ((*found)->blobLength, 20u);

  // No magic at the end: not signed, which is no error of the format.
  for (const auto& unsignedFile : {Bytes(200, 0x5a), Bytes(5, 0x5a), Bytes{}}) {
    const auto none = TrailerFile(unsignedFile).read();
    ASSERT_TRUE(none.has_value());
    EXPECT_FALSE(none->has_value());
  }

  const std::pair<const char*, Bytes> malformed[] = {
      {"code length short", withTrailer(100, 20, {.codeLength = 99, .blobLength = 20})},
      {"blob longer than the file", withTrailer(100, 20, {.codeLength = 0, .blobLength = 500})},
      {"empty blob", withTrailer(100, 0, {.codeLength = 100, .blobLength = 0})},
      {"other version", withTrailer(100, 20, {.version = 2, .codeLength = 100, .blobLength = 20})},
  };
  for (const auto& [name, contents] : malformed) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(TrailerFile(contents).read().has_value());
  }
}

TEST(ElfSections, FindsTheImageExtentAndTheEmbeddedInformationDictionary) {
  const auto program = support::sampleProgram("8.0");
  UniqueFd fd(::open(program.c_str(), O_RDONLY | O_CLOEXEC));
  const auto size = std::filesystem::file_size(program);
  const auto image = readElfImage(fd.get(), size);
  ASSERT_TRUE(image.has_value()) << describe(image.error());
  // A linked executable ends with its section header table.
  EXPECT_EQ(image->extent, size);
  const auto plist = readElfSection(fd.get(), *image, kInfoPlistSection, 1 << 20);
  ASSERT_TRUE(plist.has_value());
  ASSERT_TRUE(plist->has_value());
  EXPECT_EQ(**plist, support::fileBytes(support::infoPlistFile("8.0")));
  EXPECT_FALSE(readElfSection(fd.get(), *image, kInfoPlistSection, 16).has_value());

  const auto none = support::sampleProgram("none");
  UniqueFd noneFd(::open(none.c_str(), O_RDONLY | O_CLOEXEC));
  const auto noneImage = readElfImage(noneFd.get(), std::filesystem::file_size(none));
  ASSERT_TRUE(noneImage.has_value());
  const auto missing = readElfSection(noneFd.get(), *noneImage, kInfoPlistSection, 1 << 20);
  ASSERT_TRUE(missing.has_value());
  EXPECT_FALSE(missing->has_value());
}

TEST(ElfSections, RefusesWhatIsNoExecutableOrReachesOutsideTheFile) {
  const auto program = support::fileBytes(support::sampleProgram("8.0"));
  auto relocatable = program;
  relocatable[16] = 1;  // ET_REL
  auto sectionsBeyondEnd = program;
  sectionsBeyondEnd[40 + 7] = 0x7f;  // e_shoff far past the end
  auto otherClass = program;
  otherClass[4] = 9;
  const std::pair<const char*, Bytes> cases[] = {
      {"text", Bytes{'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'}},
      {"empty", Bytes{}},
      {"header only", Bytes(program.begin(), program.begin() + 40)},
      {"truncated",
       Bytes(program.begin(), program.begin() + static_cast<long>(program.size() / 2))},
      {"relocatable object", relocatable},
      {"section table beyond the end", sectionsBeyondEnd},
      {"unknown class", otherClass},
  };
  TemporaryFolder folder;
  for (const auto& [name, contents] : cases) {
    SCOPED_TRACE(name);
    const auto path = folder.file("candidate", std::string(contents.begin(), contents.end()));
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(readElfImage(fd.get(), contents.size()).has_value());
  }
}

TEST(CodeHash, HashesExactlyTheLeadingBytes) {
  TemporaryFolder folder;
  // Longer than one read chunk, so that the chunks are joined.
  std::string contents(200000, 'x');
  contents += "tail";
  const auto path = folder.file("code", contents);
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const auto whole = hashCode(fd.get(), contents.size());
  const auto leading = hashCode(fd.get(), 200000);
  ASSERT_TRUE(whole && leading);
  EXPECT_NE(*whole, *leading);
  EXPECT_FALSE(hashCode(fd.get(), contents.size() + 1).has_value());
  // SHA-256 of nothing.
  const auto empty = hashCode(fd.get(), 0);
  ASSERT_TRUE(empty);
  EXPECT_EQ((*empty)[0], 0xe3);
  EXPECT_EQ((*empty)[31], 0x55);
}

}  // namespace
}  // namespace tarnel::linux_platform
