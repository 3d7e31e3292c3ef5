#include "platform/linux/serving/connection_shares.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnel::linux_platform {
namespace {

TEST(ConnectionSharesTest, NoUserTakesAnotherUsersShareOrRootsPlace) {
  ConnectionShares shares(/*total=*/4, /*perUser=*/2);
  std::vector<ConnectionShares::Slot> held;
  for (int i = 0; i < 2; ++i) held.push_back(*shares.take(1000));
  EXPECT_FALSE(shares.take(1000).has_value()) << "past its share";
  for (int i = 0; i < 2; ++i) held.push_back(*shares.take(1001));
  EXPECT_FALSE(shares.take(1002).has_value()) << "all taken";
  // Root's are counted apart: whatever the others hold, root gets in, up to the total.
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(shares.take(0).has_value());
  std::vector<ConnectionShares::Slot> root;
  for (int i = 0; i < 4; ++i) root.push_back(*shares.take(0));
  EXPECT_FALSE(shares.take(0).has_value());
  // A slot given back is another's to take.
  held.erase(held.begin());
  EXPECT_TRUE(shares.take(1002).has_value());
}

}  // namespace
}  // namespace tarnel::linux_platform
