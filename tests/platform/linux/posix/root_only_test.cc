#include "platform/linux/posix/root_only.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

namespace tarnel::linux_platform {
namespace {

struct stat itemOf(uid_t owner, mode_t mode) {
  struct stat status {};
  status.st_uid = owner;
  status.st_mode = mode;
  return status;
}

std::optional<WriteFault> faultOf(const struct stat& status, AllowedOwner owner,
                                  StickyFolder sticky = StickyFolder::refused) {
  const auto checked = checkOnlyOwnerCanWrite(status, owner, sticky);
  if (checked) return std::nullopt;
  return checked.error();
}

TEST(RootOnlyTest, OnlyTheAllowedOwnerMayWrite) {
  const uid_t self = ::geteuid();
  const uid_t stranger = self + 1000;  // neither root nor this process's user
  const struct {
    struct stat status;
    AllowedOwner owner;
    StickyFolder sticky;
    std::optional<WriteFault> fault;
  } cases[] = {
      {itemOf(0, S_IFREG | 0755), AllowedOwner::root, StickyFolder::refused, std::nullopt},
      {itemOf(0, S_IFREG | 0775), AllowedOwner::root, StickyFolder::refused,
       WriteFault::writableByGroup},
      {itemOf(0, S_IFREG | 0757), AllowedOwner::root, StickyFolder::refused,
       WriteFault::writableByOthers},
      {itemOf(0, S_IFLNK | 0777), AllowedOwner::root, StickyFolder::refused,
       WriteFault::symbolicLink},
      {itemOf(stranger, S_IFREG | 0700), AllowedOwner::root, StickyFolder::refused,
       WriteFault::otherOwner},
      {itemOf(stranger, S_IFREG | 0700), AllowedOwner::rootOrEffectiveUser, StickyFolder::refused,
       WriteFault::otherOwner},
      {itemOf(self, S_IFREG | 0700), AllowedOwner::rootOrEffectiveUser, StickyFolder::refused,
       std::nullopt},
      {itemOf(self, S_IFDIR | 0755), AllowedOwner::effectiveUser, StickyFolder::refused,
       std::nullopt},
      // A sticky folder that others may write passes only where the caller lets it.
      {itemOf(0, S_IFDIR | 01777), AllowedOwner::root, StickyFolder::passes, std::nullopt},
      {itemOf(0, S_IFDIR | 01777), AllowedOwner::root, StickyFolder::refused,
       WriteFault::writableByOthers},
      {itemOf(0, S_IFREG | 01777), AllowedOwner::root, StickyFolder::passes,
       WriteFault::writableByOthers},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(faultOf(c.status, c.owner, c.sticky), c.fault) << "case " << i;
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
