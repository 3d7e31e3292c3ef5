// Why an item may be changed by someone other than root, or could not be asked: the item on the
// way that fails and what is wrong with it. The words are made by describe(), where the reason
// leaves the program.
#pragma once

#include <sys/types.h>

#include <string>

namespace tarnel::linux_platform {

struct RootOnlyError {
  enum class Kind {
    symbolicLink,
    otherOwner,  // with `owner`
    writableByOthers,
    writableByGroup,
    notFolder,             // an item above the one asked for
    unknownWorkingFolder,  // a relative path whose folder cannot be told
    unreadable,            // with `systemError`
  };
  Kind kind;
  std::string path;
  uid_t owner = 0;
  int systemError = 0;
};

// The reason in words, naming the item: "/etc/tarnel is writable by others".
std::string describe(const RootOnlyError& error);

}  // namespace tarnel::linux_platform
