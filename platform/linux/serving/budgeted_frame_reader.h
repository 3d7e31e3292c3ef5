// The frames of one served connection: each must be whole within kFrameTimeLimit once begun, and
// a large one waits for room in the server's FrameBudget before its bytes are read.
#pragma once

#include <expected>
#include <stop_token>

#include "platform/linux/serving/frame_budget.h"
#include "platform/linux/wire/frame_io.h"

namespace tarnel::linux_platform {

class BudgetedFrameReader {
 public:
  struct Frame {
    ReceivedFrame frame;
    // The room the frame holds until it and what is made of it are done.
    FrameBudget::Reservation room;
  };

  // Reads the blocking socket `socketFd`; `stop`, once asked for, ends a wait for room.
  BudgetedFrameReader(int socketFd, FrameBudget& budget, std::stop_token stop);
  BudgetedFrameReader(const BudgetedFrameReader&) = delete;
  BudgetedFrameReader& operator=(const BudgetedFrameReader&) = delete;

  std::expected<Frame, FrameReadError> next();

 private:
  FrameBudget& budget_;
  std::stop_token stop_;
  // The room taken for the frame being read, until next() hands it over with the frame.
  FrameBudget::Reservation taken_;
  FrameReader reader_;
};

}  // namespace tarnel::linux_platform
