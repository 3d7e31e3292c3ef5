#include "platform/linux/serving/frame_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tarnel::linux_platform {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kMiB = 1024 * 1024;

TEST(FrameBudgetTest, LargeFramesWaitInTurnForRoomThatSmallOnesNeverNeed) {
  FrameBudget budget(40 * kMiB);
  // A small frame takes nothing, however full the budget.
  auto first = budget.reserveFrame(16 * kMiB, {});
  EXPECT_EQ(budget.inUse(), 32 * kMiB);
  auto small = budget.reserveFrame(FrameBudget::kSmallFrame, {});
  EXPECT_EQ(budget.inUse(), 32 * kMiB);

  // Two more large frames wait, and are given room in the order they asked: room for one at a
  // time, so that the order they are given it in is the order they return in.
  std::vector<int> order;
  std::mutex orderMutex;
  std::atomic<int> waiting = 0;
  std::vector<std::jthread> frames;
  std::vector<FrameBudget::Reservation> held(2);
  for (int i = 0; i < 2; ++i) {
    frames.emplace_back([&, i] {
      ++waiting;
      held[i] = budget.reserveFrame(16 * kMiB, {});
      const std::lock_guard lock(orderMutex);
      order.push_back(i);
    });
    while (waiting < i + 1) std::this_thread::yield();
    std::this_thread::sleep_for(20ms);  // so that the second asks after the first
  }
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(order.empty());
  first = {};
  frames[0].join();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(order, (std::vector<int>{0}));
  held[0] = {};
  frames[1].join();
  EXPECT_EQ(order, (std::vector<int>{0, 1}));
  EXPECT_EQ(budget.inUse(), 32 * kMiB);
  held.clear();
  EXPECT_EQ(budget.inUse(), 0u);
}

TEST(FrameBudgetTest, AFrameThatStopsWaitingLetsTheNextHaveItsTurn) {
  FrameBudget budget(40 * kMiB);
  const auto full = budget.reserveFrame(16 * kMiB, {});
  // 16 MiB more do not fit; 8 MiB more would, but wait their turn behind the first.
  std::stop_source stop;
  std::jthread first([&] { budget.reserveFrame(8 * kMiB, stop.get_token()); });
  std::this_thread::sleep_for(20ms);
  FrameBudget::Reservation second;
  std::jthread secondAsks([&] { second = budget.reserveFrame(4 * kMiB, {}); });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(budget.inUse(), 32 * kMiB);
  stop.request_stop();
  const auto giveUp = std::chrono::steady_clock::now() + 10s;
  while (budget.inUse() != 40 * kMiB && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(budget.inUse(), 40 * kMiB);
}

}  // namespace
}  // namespace tarnel::linux_platform
