#include "platform/linux/posix/account_ids.h"

#include <grp.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnel::linux_platform {
namespace {

TEST(AccountIdsTest, NamesResolveThroughTheSystemDatabases) {
  EXPECT_EQ(userIdNamed("root"), 0u);
  EXPECT_EQ(userIdNamed("nobody"), 65534u);
  EXPECT_EQ(userIdNamed("no-such-user-tarnel"), std::nullopt);
  EXPECT_EQ(userIdNamed(std::string("root\0x", 6)), std::nullopt);
  EXPECT_EQ(userIdNamed(""), std::nullopt);

  EXPECT_EQ(groupIdNamed("root"), 0u);
  EXPECT_EQ(groupIdNamed("no-such-group-tarnel"), std::nullopt);
  EXPECT_EQ(groupIdNamed(std::string("wheel\0x", 7)), std::nullopt);
}

TEST(AccountIdsTest, WheelIsTheSystemsGroupOfThatNameOrElseGroupZero) {
  const group* wheel = ::getgrnam("wheel");
  EXPECT_EQ(groupIdNamed("wheel"), wheel != nullptr ? wheel->gr_gid : 0u);
  // Only that exact name stands for the administrative group.
  EXPECT_EQ(groupIdNamed("Wheel"), std::nullopt);
  // The group itself, as administrators are counted, has no stand-in.
  EXPECT_EQ(groupNamed("wheel").has_value(), wheel != nullptr);
}

TEST(AccountIdsTest, AccountsCarryTheirNamePrimaryGroupAndMembers) {
  const auto root = userWithId(0);
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(root->name, "root");
  EXPECT_EQ(root->primaryGroup, 0u);
  EXPECT_FALSE(userWithId(4'000'000'000u).has_value());

  for (const char* name : {"root", "sudo", "tarnel"}) {
    const group* expected = ::getgrnam(name);
    const auto found = groupNamed(name);
    ASSERT_EQ(found.has_value(), expected != nullptr) << name;
    if (!found) continue;
    EXPECT_EQ(found->id, expected->gr_gid);
    std::vector<std::string> members;
    for (char** member = expected->gr_mem; *member; ++member) members.emplace_back(*member);
    EXPECT_EQ(found->members, members) << name;
  }
  EXPECT_FALSE(groupNamed(std::string("root\0x", 6)).has_value());
}

}  // namespace
}  // namespace tarnel::linux_platform
