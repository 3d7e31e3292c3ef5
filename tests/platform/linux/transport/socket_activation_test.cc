#include "platform/linux/transport/socket_activation.h"

#include <gtest/gtest.h>

namespace tarnel::linux_platform {
namespace {

TEST(SocketActivationTest, OnlyAProcessNamedByListenPidHasSockets) {
  const struct {
    const char* listenPid;
    const char* listenFds;
    int count;
  } cases[] = {
      {"1234", "1", 1},  {"1234", "3", 3},     {"1234", "0", 0},  {"4321", "1", 0},
      {nullptr, "1", 0}, {"1234", nullptr, 0}, {"1234", "-1", 0}, {"1234", "1x", 0},
      {"1234 ", "1", 0}, {"", "1", 0},         {"1234", "65", 0}, {"+1234", "1", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(activatedSocketCount(c.listenPid, c.listenFds, 1234), c.count)
        << (c.listenPid ? c.listenPid : "(none)") << " " << (c.listenFds ? c.listenFds : "(none)");
  }
}

TEST(SocketActivationTest, NamesFollowTheDescriptorsInOrder) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(activatedSocketNames("svc", 1), Names{"svc"});
  EXPECT_EQ(activatedSocketNames("a:b:c", 2), (Names{"a", "b"}));
  EXPECT_EQ(activatedSocketNames("a", 2), (Names{"a", ""}));
  EXPECT_EQ(activatedSocketNames(nullptr, 2), (Names{"", ""}));
  EXPECT_EQ(activatedSocketNames(":b", 2), (Names{"", "b"}));
}

}  // namespace
}  // namespace tarnel::linux_platform
