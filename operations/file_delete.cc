#include "operations/file_delete.h"

#include "model/reply.h"
#include "operations/log_messages.h"

namespace tarnel {

std::expected<void, Dictionary> deleteFile(Platform& platform, const std::string& path) {
  const auto removed = platform.files.removeItem(path);
  if (removed) return {};
  platform.log.write(withPath(couldNotDeleteFile, path));
  return std::unexpected(makeNSErrorReply(removed.error()));
}

}  // namespace tarnel
