// Items that only root can change: owned by root and writable by no one else, as are the folders
// above them. Whatever the system trusts because root put it there (trust anchors, rules, jobs,
// installed programs) is only as safe as that: whoever may write a file may change it, and whoever
// may write a folder on the way to it may put another item in its place.
#pragma once

#include <sys/stat.h>

#include <expected>
#include <string>

#include "platform/linux/posix/root_only_error.h"

namespace tarnel::linux_platform {

// Who may own an item that no one else may write.
enum class AllowedOwner {
  root,
  effectiveUser,        // the user this process acts as (launchctl's own state)
  rootOrEffectiveUser,  // either (a job file: root's, or that of the user who loads it)
};

// What lets somebody other than the allowed owner change an item, in the order it is checked.
enum class WriteFault {
  symbolicLink,  // a link is not the item it names: what it points to is not checked
  otherOwner,    // the item's owner is not the allowed one
  writableByOthers,
  writableByGroup,
};

// Where a sticky folder that others may write passes (as /tmp): only above the item checked, since
// the sticky bit keeps everyone but root and an entry's owner from removing or renaming it.
enum class StickyFolder { refused, passes };

// The one check that only its owner can change an item whose status is `status`: nothing when it
// is no symbolic link, is owned by `owner`, and neither its group nor others may write it;
// otherwise the first fault found. Callers that asked with stat or fstat never see a link.
std::expected<void, WriteFault> checkOnlyOwnerCanWrite(const struct stat& status,
                                                       AllowedOwner owner = AllowedOwner::root,
                                                       StickyFolder sticky = StickyFolder::refused);

// Nothing when only root may change the item `path` whose status is `status`: it is owned by root
// and neither its group nor others may write it. Otherwise the reason, naming `path` and what is
// wrong. A symbolic link never passes.
std::expected<void, RootOnlyError> checkOnlyRootCanWrite(const std::string& path,
                                                         const struct stat& status);

// The status of the item at `path` (a relative one taken from the working folder) when only root
// can change it and what any folder on the way to it holds: the item and every folder above it
// are owned by root and writable by no one else, and none of them is a symbolic link. A folder
// above the item may still be writable by others if it is sticky (as /tmp is): the sticky bit keeps
// everyone but root and the owner of an entry from removing or renaming it, and the entry below it
// is root's. The item itself passes only without any write for others, sticky or not. Otherwise
// the reason, naming the first item on the way that fails and what is wrong with it. Each item is
// asked by its path from the root down without following links, so that what the kernel resolves
// later is what was checked, and only root can change it since.
std::expected<struct stat, RootOnlyError> statOnlyRootCanChange(const std::string& path);

}  // namespace tarnel::linux_platform
