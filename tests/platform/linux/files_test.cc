#include "platform/linux/files.h"

#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <expected>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

using tarnel::support::contentsOf;
using tarnel::support::TemporaryFolder;
using ::testing::UnorderedElementsAre;

constexpr uid_t kNobody = 65534;

// Runs `operation` on a thread whose file-system identity is an unprivileged user: the kernel
// then drops the thread's file capabilities, so permission bits apply to it.
void asUnprivilegedUser(const std::function<void()>& operation) {
  std::thread([&] {
    ::setfsgid(kNobody);
    ::setfsuid(kNobody);
    operation();
  }).join();
}

template <class T>
void expectError(const std::expected<T, PlatformError>& result, std::int64_t code,
                 const std::string& path) {
  ASSERT_FALSE(result.has_value()) << path;
  const auto& error = result.error();
  EXPECT_EQ(error.domain, "NSCocoaErrorDomain") << path;
  EXPECT_EQ(error.code, code) << path << ": " << error.description;
  EXPECT_THAT(error.description, ::testing::EndsWith(": " + path));
}

struct stat linkStatus(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status;
}

TEST(LinuxFilesTest, WriteCreatesOrReplacesTheWholeContent) {
  TemporaryFolder folder;
  const auto existing = folder.file("existing", "a much longer old content\n");
  const struct {
    std::string path;
    std::string text;
  } cases[] = {
      {folder.path("new.plist"), "<plist>\n</plist>\n"},
      {existing, "short"},
      {folder.path("empty"), ""},
      {folder.path("unicode"), "Zürich ✓ \r\n no newline added"},
  };
  LinuxFiles files;
  for (const auto& c : cases) {
    EXPECT_TRUE(files.writeText(c.path, c.text, FinalLink::follow).has_value()) << c.path;
    EXPECT_EQ(contentsOf(c.path), c.text) << c.path;
  }
}

TEST(LinuxFilesTest, WriteFollowsAFinalLinkOnlyWhenAskedTo) {
  TemporaryFolder folder;
  const auto target = folder.file("target", "old");
  const auto link = folder.link("link", target);
  const auto dangling = folder.link("dangling", folder.path("nowhere"));
  LinuxFiles files;

  expectError(files.writeText(link, "new", FinalLink::refuse), 512, link);
  expectError(files.writeText(dangling, "new", FinalLink::refuse), 512, dangling);
  EXPECT_EQ(contentsOf(target), "old");
  EXPECT_FALSE(std::filesystem::exists(folder.path("nowhere")));

  EXPECT_TRUE(files.writeText(link, "new", FinalLink::follow).has_value());
  EXPECT_EQ(contentsOf(target), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST(LinuxFilesTest, WriteFailuresCarryTheFileWriteCodes) {
  TemporaryFolder folder;
  const auto fifo = folder.fifo("fifo");
  const auto subfolder = folder.folder("subfolder");
  const struct {
    std::string path;
    std::int64_t code;
  } cases[] = {
      {folder.path("missing/job.plist"), 4},
      {folder.file("plain", "x") + "/below", 4},
      {subfolder, 512},
      // A FIFO would hold the writer until somebody read it: it is refused, not opened.
      {fifo, 512},
      {folder.root() + std::string("/nul\0name", 9), 514},
      {folder.path(std::string(300, 'n')), 514},
  };
  LinuxFiles files;
  for (const auto& c : cases) {
    expectError(files.writeText(c.path, "text", FinalLink::follow), c.code, c.path);
  }
}

TEST(LinuxFilesTest, WriteWithoutPermissionIsTheNoPermissionError) {
  TemporaryFolder folder;
  const auto locked = folder.folder("locked");
  const auto path = locked + "/job.plist";
  std::expected<void, PlatformError> error;
  asUnprivilegedUser([&] { error = LinuxFiles().writeText(path, "text", FinalLink::follow); });
  expectError(error, 513, path);
}

TEST(LinuxFilesTest, OwnerAndGroupAreSetByAccountNameOnTheItemItself) {
  TemporaryFolder folder;
  const auto file = folder.file("job.plist", "x");
  const auto target = folder.file("target", "x");
  const auto link = folder.link("link", target);
  ASSERT_EQ(::lchown(file.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::lchown(target.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
  const group* wheel = ::getgrnam("wheel");
  const gid_t wheelId = wheel != nullptr ? wheel->gr_gid : 0;

  LinuxFiles files;
  EXPECT_TRUE(files.setOwner(file, "root", "wheel").has_value());
  EXPECT_EQ(linkStatus(file).st_uid, 0u);
  EXPECT_EQ(linkStatus(file).st_gid, wheelId);

  EXPECT_TRUE(files.setOwner(link, "root", "wheel").has_value());
  EXPECT_EQ(linkStatus(link).st_uid, 0u);
  EXPECT_EQ(linkStatus(target).st_uid, kNobody);
  EXPECT_EQ(linkStatus(target).st_gid, kNobody);
}

TEST(LinuxFilesTest, OwnershipFailuresCarryTheirCodes) {
  TemporaryFolder folder;
  const auto file = folder.file("job.plist", "x");
  const struct {
    std::string path;
    std::string user;
    std::string group;
    std::int64_t code;
  } cases[] = {
      {folder.path("missing"), "root", "wheel", 4},
      {file, "no-such-user-tarnel", "wheel", 512},
      {file, "root", "no-such-group-tarnel", 512},
  };
  LinuxFiles files;
  for (const auto& c : cases) {
    expectError(files.setOwner(c.path, c.user, c.group), c.code, c.path);
  }
  std::expected<void, PlatformError> error;
  asUnprivilegedUser([&] { error = LinuxFiles().setOwner(file, "root", "wheel"); });
  expectError(error, 513, file);
}

TEST(LinuxFilesTest, ReadGivesTheWholeTextOfARegularFileOnly) {
  TemporaryFolder folder;
  const auto text = folder.file("out.txt", "line one\nZürich ✓\n");
  const auto exactlyTen = folder.file("ten", "0123456789");
  LinuxFiles files;
  EXPECT_EQ(files.readText(text, 1024), "line one\nZürich ✓\n");
  EXPECT_EQ(files.readText(folder.link("link", text), 1024), "line one\nZürich ✓\n");
  EXPECT_EQ(files.readText(folder.file("empty", ""), 1024), "");
  EXPECT_EQ(files.readText(exactlyTen, 10), "0123456789");

  const auto fifo = folder.fifo("fifo");
  const struct {
    std::string path;
    std::size_t maximum;
    std::int64_t code;
  } cases[] = {
      {folder.path("missing"), 1024, 260},
      {folder.file("latin1", "Z\xfcrich"), 1024, 261},
      {folder.file("cut", "caf\xc3"), 1024, 261},
      {folder.file("surrogate", "\xed\xa0\x80"), 1024, 261},
      {exactlyTen, 9, 263},
      // A FIFO or a device would hold the reader: neither is opened.
      {fifo, 1024, 256},
      {folder.link("fifo-link", fifo), 1024, 256},
      {"/dev/zero", 1024, 256},
      {folder.root(), 1024, 256},
  };
  for (const auto& c : cases) {
    const auto read = files.readText(c.path, c.maximum);
    expectError(read, c.code, c.path);
  }
}

TEST(LinuxFilesTest, ReadWithoutPermissionIsTheReadNoPermissionError) {
  TemporaryFolder folder;
  const auto secret = folder.file("secret", "text", 0600);
  std::expected<std::string, PlatformError> read;
  asUnprivilegedUser([&] { read = LinuxFiles().readText(secret, 1024); });
  expectError(read, 257, secret);
}

TEST(LinuxFilesTest, RemovalTakesAFolderWithAllItsContent) {
  TemporaryFolder folder;
  const auto tree = folder.folder("tree");
  folder.folder("tree/a/b/c");
  folder.file("tree/a/b/c/deep", "x");
  folder.file("tree/a/file", "x");
  folder.file("tree/.hidden", "x");
  folder.fifo("tree/fifo");
  const auto file = folder.file("file", "x");

  LinuxFiles files;
  EXPECT_TRUE(files.removeItem(tree).has_value());
  EXPECT_TRUE(files.removeItem(file).has_value());
  EXPECT_FALSE(std::filesystem::exists(tree));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(LinuxFilesTest, RemovalNeverFollowsALink) {
  TemporaryFolder folder;
  const auto outside = folder.folder("outside");
  const auto outsideFile = folder.file("outside/keep", "x");
  const auto tree = folder.folder("tree");
  folder.link("tree/to-folder", outside);
  folder.link("tree/to-file", outsideFile);
  const auto folderLink = folder.link("folder-link", outside);
  const auto slashLink = folder.link("slash-link", outside);

  LinuxFiles files;
  EXPECT_TRUE(files.removeItem(tree).has_value());
  EXPECT_TRUE(files.removeItem(folderLink).has_value());
  EXPECT_TRUE(files.removeItem(slashLink + "/").has_value());

  EXPECT_FALSE(std::filesystem::exists(tree));
  EXPECT_FALSE(std::filesystem::is_symlink(folderLink));
  EXPECT_FALSE(std::filesystem::is_symlink(slashLink));
  EXPECT_EQ(contentsOf(outsideFile), "x");
}

TEST(LinuxFilesTest, RemovalFailuresCarryTheirCodesAndStopBeforeTheFolderGoes) {
  TemporaryFolder folder;
  const auto locked = folder.folder("locked");
  const auto inLocked = folder.file("locked/file", "x");
  std::string deep = folder.folder("deep");
  for (std::size_t level = 0; level < kMaximumRemovalDepth + 1; ++level) deep += "/d";
  std::filesystem::create_directories(deep);
  std::string shallow = folder.folder("shallow");
  for (std::size_t level = 0; level + 1 < kMaximumRemovalDepth; ++level) shallow += "/d";
  std::filesystem::create_directories(shallow);

  LinuxFiles files;
  expectError(files.removeItem(folder.path("missing")), 4, folder.path("missing"));
  expectError(files.removeItem(std::string("a\0b", 3)), 514, std::string("a\0b", 3));
  expectError(files.removeItem(folder.path("deep")), 512, folder.path("deep"));
  EXPECT_TRUE(files.removeItem(folder.path("shallow")).has_value());

  std::expected<void, PlatformError> error;
  asUnprivilegedUser([&] { error = LinuxFiles().removeItem(locked); });
  expectError(error, 513, locked);
  EXPECT_EQ(contentsOf(inLocked), "x");
}

TEST(LinuxFilesTest, ListingSkipsHiddenItemsAndDoesNotDescend) {
  TemporaryFolder folder;
  folder.file("com.quorvant.job", "x");
  folder.file(".com.quorvant.hidden", "x");
  folder.folder("sub");
  folder.file("sub/inner", "x");
  folder.link("link", folder.path("nowhere"));

  LinuxFiles files;
  EXPECT_THAT(files.listFolder(folder.root()).value(),
              UnorderedElementsAre("com.quorvant.job", "sub", "link"));
  EXPECT_THAT(files.listFolder(folder.root() + "/").value(),
              UnorderedElementsAre("com.quorvant.job", "sub", "link"));

  for (const auto& unlistable : {folder.path("missing"), folder.path("com.quorvant.job")}) {
    const auto listing = files.listFolder(unlistable);
    expectError(listing, 260, unlistable);
  }
}

TEST(LinuxFilesTest, ItemTypeIsThatOfTheItemItselfAndExistenceFollowsLinks) {
  TemporaryFolder folder;
  const auto file = folder.file("file", "x");
  const auto sub = folder.folder("sub");
  const struct {
    std::string path;
    std::optional<ItemType> type;
    bool exists;
  } cases[] = {
      {file, ItemType::regular, true},
      {sub, ItemType::directory, true},
      {folder.link("to-file", file), ItemType::symbolicLink, true},
      {folder.link("to-sub", sub) + "/", ItemType::symbolicLink, true},
      {folder.link("dangling", folder.path("nowhere")), ItemType::symbolicLink, false},
      {folder.fifo("fifo"), ItemType::other, true},
      {folder.path("missing"), std::nullopt, false},
      {"", std::nullopt, false},
  };
  LinuxFiles files;
  for (const auto& c : cases) {
    EXPECT_EQ(files.itemType(c.path), c.type) << c.path;
    EXPECT_EQ(files.exists(c.path), c.exists) << c.path;
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
