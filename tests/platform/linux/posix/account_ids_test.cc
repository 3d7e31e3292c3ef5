#include "platform/linux/posix/account_ids.h"

#include <grp.h>
#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace tarnel::linux_platform
