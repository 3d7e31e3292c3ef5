#include "operations/file_delete.h"

#include "model/reply.h"
#include "operations/log_messages.h"

namespace tarnel {

std::optional<Dictionary> deleteFile(Platform& platform, const std::string& path) {
  const auto error = platform.files.removeItem(path);
  if (!error) return std::nullopt;
  platform.log.write(withPath(couldNotDeleteFile, path));
  return makeNSErrorReply(*error);
}

}  // namespace tarnel
