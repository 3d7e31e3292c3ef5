// The verdict on this process's own executable, kept while nothing it rests on has changed, so
// that checking the helper's own code before every request costs a few system calls instead of
// hashing the whole executable and verifying its signature again.
//
// The verdict rests on: the bytes of the executable, which the kernel refuses to let anyone write
// while it runs, and whose file's identity, size and times would move if they changed; the trust
// anchors, whose folder's and files' identities, sizes and times would move if any were added,
// removed or rewritten; the flags of the validation; and the time, against the earliest end of
// validity in the signing chain. While all of these are as they were, a full validation would
// find what the last one found. Any difference, and the executable is validated in full again.
#pragma once

#include <chrono>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/code_signing.h"
#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/trust_anchors.h"
#include "platform/linux/posix/file_state.h"

namespace tarnel::linux_platform {

class OwnCodeVerdict {
 public:
  // What validation establishes of the executable open as `fd` (this process's own) under `flags`
  // against the anchors in `anchorsFolder`: the last full validation's finding while nothing it
  // rests on has changed, else a full validation's. A failure is never kept.
  std::expected<std::shared_ptr<const RequirementContext>, SigningFailure> validate(
      int fd, const std::string& anchorsFolder, SecCSFlags flags);

 private:
  struct Grounds {
    FileState executable;
    AnchorsState anchors;
    SecCSFlags flags;
    bool operator==(const Grounds&) const = default;
  };
  struct Verdict {
    Grounds grounds;
    std::string anchorsFolder;
    std::shared_ptr<const RequirementContext> context;
    std::chrono::system_clock::time_point validUntil;
  };

  std::mutex mutex_;
  std::optional<Verdict> kept_;
};

}  // namespace tarnel::linux_platform
