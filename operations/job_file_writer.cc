#include "operations/job_file_writer.h"

#include "model/reply.h"
#include "operations/log_messages.h"

namespace tarnel {

namespace {

constexpr const char* kOwnerAccount = "root";
constexpr const char* kGroupAccount = "wheel";

}  // namespace

std::expected<void, Dictionary> writeJobFile(Platform& platform, const std::string& text,
                                             const std::string& path, Ownership ownership,
                                             FinalLink finalLink) {
  if (const auto written = platform.files.writeText(path, text, finalLink); !written) {
    platform.log.write(withPath(couldNotWriteToFile, path));
    return std::unexpected(makeNSErrorReply(written.error()));
  }
  if (ownership == Ownership::rootWheel &&
      !platform.files.setOwner(path, kOwnerAccount, kGroupAccount)) {
    platform.log.write(cantSetOwnerToRootWheel);
  }
  return {};
}

}  // namespace tarnel
