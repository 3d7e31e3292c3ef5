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

// A connection admitted before the end is waited for until its first request has been carried
// out; once the end has begun, none is admitted.
TEST(RequestGateTest, TheEndWaitsForAdmittedConnectionsFirstRequest) {
  RequestGate gate;
  auto admission = gate.admit();
  ASSERT_TRUE(admission);
  gate.close();
  EXPECT_FALSE(gate.admit());
  const auto started = steady_clock::now();
  gate.drain(std::chrono::milliseconds(300));
  EXPECT_GE(steady_clock::now() - started, std::chrono::milliseconds(300));

  RequestGate next;
  auto admitted = next.admit();
  next.close();
  auto request = next.enter(admitted);
  ASSERT_TRUE(request);
  EXPECT_FALSE(admitted) << "the request takes over from the admission";
  request.reset();
  EXPECT_TRUE(drainsAtOnce(next));
}

}  // namespace
}  // namespace tarnel::linux_platform
