#include "platform/linux/posix/root_only_error.h"

#include <cstring>

#include "platform/linux/posix/message_text.h"

namespace tarnel::linux_platform {

namespace {

using Kind = RootOnlyError::Kind;

// {s} the path, {n} the owner, {e} the system's words for the error number.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::symbolicLink, "{s} is a symbolic link"},
    {Kind::otherOwner, "{s} is owned by user {n}, not root"},
    {Kind::writableByOthers, "{s} is writable by others"},
    {Kind::writableByGroup, "{s} is writable by its group"},
    {Kind::notFolder, "{s} is not a folder"},
    {Kind::unknownWorkingFolder, "cannot tell the working folder of {s}"},
    {Kind::unreadable, "cannot read {s}: {e}"},
};
static_assert(everyKindHasOneText(kTexts, Kind::unreadable));

}  // namespace

std::string describe(const RootOnlyError& error) {
  return filledIn(textOf(kTexts, error.kind), {{'s', error.path},
                                               {'n', std::to_string(error.owner)},
                                               {'e', std::strerror(error.systemError)}});
}

}  // namespace tarnel::linux_platform
