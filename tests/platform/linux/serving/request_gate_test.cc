#include "platform/linux/serving/request_gate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace tarnel::linux_platform {
namespace {

using std::chrono::seconds;
using std::chrono::steady_clock;

bool drainsAtOnce(RequestGate& gate) {
  const auto started = steady_clock::now();
  gate.drain(seconds(5));
  return steady_clock::now() - started < seconds(1);
}

// One thread runs a request in each of two gates and ends the first: the end takes its own
// request in that gate as carried out, and nothing of the other gate's.
TEST(RequestGateTest, EachGateKeepsItsOwnRequests) {
  RequestGate first;
  RequestGate second;
  std::optional<RequestGate::Hold> none;
  auto inFirst = first.enter(none);
  auto inSecond = second.enter(none);
  ASSERT_TRUE(inFirst && inSecond);
  first.close();
  EXPECT_TRUE(drainsAtOnce(first));
  EXPECT_FALSE(first.enter(none)) << "a request started after the end was over";

  second.close();
  inSecond.reset();
  EXPECT_TRUE(drainsAtOnce(second));
}

}  // namespace
}  // namespace tarnel::linux_platform
