#include "platform/linux/serving/budgeted_frame_reader.h"

#include <utility>

#include "platform/linux/serving/time_limits.h"

namespace tarnel::linux_platform {

BudgetedFrameReader::BudgetedFrameReader(int socketFd, FrameBudget& budget, std::stop_token stop)
    : budget_(budget),
      stop_(std::move(stop)),
      reader_(socketFd, FrameReader::Options{.frameTimeLimit = kFrameTimeLimit,
                                             .beforeBody = [this](std::uint32_t length) {
                                               taken_ = budget_.reserveFrame(length, stop_);
                                               return !stop_.stop_requested();
                                             }}) {}

auto BudgetedFrameReader::next() -> std::expected<Frame, FrameReadError> {
  auto frame = reader_.next();
  auto room = std::exchange(taken_, {});
  if (!frame) return std::unexpected(frame.error());
  return Frame{.frame = std::move(*frame), .room = std::move(room)};
}

}  // namespace tarnel::linux_platform
