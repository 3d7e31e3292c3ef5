#include "platform/linux/serving/frame_budget.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/eventually.h"

namespace tarnel::linux_platform {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kMiB = 1024 * 1024;

// Whether thread `thread` of this process is asleep, as a frame that waits for room is. Waiting
// for it, not for a while, puts the frames' asking in order however late the scheduler runs them.
bool asleep(pid_t thread) {
  std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto state = line.rfind(") ");
  return thread > 0 && state != std::string::npos && line[state + 2] == 'S';
}

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
  std::atomic<pid_t> asking[2] = {0, 0};
  std::vector<std::jthread> frames;
  std::vector<FrameBudget::Reservation> held(2);
  for (int i = 0; i < 2; ++i) {
    frames.emplace_back([&, i] {
      asking[i] = ::gettid();
      held[i] = budget.reserveFrame(16 * kMiB, {});
      const std::lock_guard lock(orderMutex);
      order.push_back(i);
    });
    // The second asks only once the first waits.
    EXPECT_TRUE(support::eventually([&] { return asleep(asking[i]); }));
  }
  {
    const std::lock_guard lock(orderMutex);
    EXPECT_TRUE(order.empty());
  }
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
  std::atomic<pid_t> firstThread = 0;
  std::jthread first([&] {
    firstThread = ::gettid();
    budget.reserveFrame(8 * kMiB, stop.get_token());
  });
  EXPECT_TRUE(support::eventually([&] { return asleep(firstThread); }));
  FrameBudget::Reservation second;
  std::jthread secondAsks([&] { second = budget.reserveFrame(4 * kMiB, {}); });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(budget.inUse(), 32 * kMiB);
  stop.request_stop();
  EXPECT_TRUE(support::eventually([&] { return budget.inUse() == 40 * kMiB; }));
}

}  // namespace
}  // namespace tarnel::linux_platform
