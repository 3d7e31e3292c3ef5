#include "platform/linux/posix/root_only_error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tarnel::linux_platform {

namespace {

using Kind = RootOnlyError::Kind;

// The text of each kind: `before`, the path, `after`, then what the kind adds.
struct Row {
  Kind kind;
  const char* before;
  const char* after;
};

constexpr Row kRows[] = {
    {Kind::symbolicLink, "", " is a symbolic link"},
    {Kind::otherOwner, "", " is owned by user "},
    {Kind::writableByOthers, "", " is writable by others"},
    {Kind::writableByGroup, "", " is writable by its group"},
    {Kind::notFolder, "", " is not a folder"},
    {Kind::unknownWorkingFolder, "cannot tell the working folder of ", ""},
    {Kind::unreadable, "cannot read ", ": "},
};

}  // namespace

std::string describe(const RootOnlyError& error) {
  const auto row = std::ranges::find(kRows, error.kind, &Row::kind);
  // Every kind has its row: a kind without one is a programming error.
  if (row == std::end(kRows)) std::abort();
  std::string text = row->before + error.path + row->after;
  if (error.kind == Kind::otherOwner) text += std::to_string(error.owner) + ", not root";
  if (error.kind == Kind::unreadable) text += std::strerror(error.systemError);
  return text;
}

}  // namespace tarnel::linux_platform
