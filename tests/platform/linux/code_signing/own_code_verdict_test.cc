#include "platform/linux/code_signing/own_code_verdict.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/linux/posix/unique_fd.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

namespace fs = std::filesystem;

constexpr SecCSFlags kStrict =
    kSecCSCheckAllArchitectures | kSecCSCheckNestedCode | kSecCSStrictValidate;

// A kept verdict must never outlive what it rests on: after each change below a full validation
// fails, so a verdict kept across the change would show as a success.
TEST(OwnCodeVerdictTest, ValidatesInFullAgainWhenAnythingItRestsOnChanges) {
  const struct {
    const char* name;
    std::function<void(const std::string& code, const std::string& anchors)> change;
  } changes[] = {
      {"a byte of the code changed, its times put back",
       [](const std::string& code, const std::string&) {
         struct stat before {};
         ASSERT_EQ(::stat(code.c_str(), &before), 0);
         const UniqueFd file(::open(code.c_str(), O_WRONLY | O_CLOEXEC));
         ASSERT_EQ(::pwrite(file.get(), "\x7f", 1, 64), 1);
         const timespec times[] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(::futimens(file.get(), times), 0);
       }},
      {"another file put in the code's place",
       [](const std::string& code, const std::string&) {
         const auto other = code + ".other";
         fs::copy_file(support::sampleProgram("8.0"), other);
         fs::rename(other, code);
       }},
      {"the maker's anchor replaced by another root",
       [](const std::string&, const std::string& anchors) {
         fs::copy_file(support::signingPath("identity/ca/outside-root.pem"), anchors + "/root.pem",
                       fs::copy_options::overwrite_existing);
       }},
      {"the maker's anchor removed, another added",
       [](const std::string&, const std::string& anchors) {
         fs::remove(anchors + "/root.pem");
         fs::copy_file(support::signingPath("identity/ca/outside-root.pem"),
                       anchors + "/outside.pem");
       }},
      // Others could now plant a root: the anchors are refused, whatever they hold.
      {"the anchors folder made writable by others",
       [](const std::string&, const std::string& anchors) {
         fs::permissions(anchors, fs::perms::all);
       }},
      {"a folder above the anchors made writable by others",
       [](const std::string&, const std::string& anchors) {
         fs::permissions(fs::path(anchors).parent_path(), fs::perms::all);
       }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    support::TemporaryFolder folder;
    const auto anchors = folder.folder("anchors");
    fs::copy_file(support::anchorsFolder() + "/root.pem", anchors + "/root.pem");
    const auto code =
        support::signedSample(folder.path("code"), "8.0", "com.quorvant.TarnelX8Helper");
    OwnCodeVerdict verdict;
    const auto validates = [&] {
      const UniqueFd file(::open(code.c_str(), O_RDONLY | O_CLOEXEC));
      return verdict.validate(file.get(), anchors, kStrict).has_value();
    };
    ASSERT_TRUE(validates());
    ASSERT_TRUE(validates());
    change.change(code, anchors);
    EXPECT_FALSE(validates());
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
