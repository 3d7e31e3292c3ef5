// A process out of descriptors, as a peer that holds many connections would leave it: every
// descriptor under the soft limit is taken until the object goes (or give()s some back).
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <vector>

namespace tarnel::support {

class UsedUpDescriptors {
 public:
  UsedUpDescriptors() {
    for (;;) {
      const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd < 0) break;
      held_.push_back(fd);
    }
  }
  ~UsedUpDescriptors() { give(held_.size()); }
  UsedUpDescriptors(const UsedUpDescriptors&) = delete;
  UsedUpDescriptors& operator=(const UsedUpDescriptors&) = delete;

  // Gives `count` descriptors back.
  void give(std::size_t count) {
    for (; count > 0 && !held_.empty(); --count) {
      ::close(held_.back());
      held_.pop_back();
    }
  }

 private:
  std::vector<int> held_;
};

// Lowers the soft limit on descriptors for the life of the object.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
};

}  // namespace tarnel::support
