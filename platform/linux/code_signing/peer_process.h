// The process behind an audit token, held through a pidfd so that a process id that has passed
// to another process never counts as the peer, and refused unless it was started sealed: the
// stand-in for the hardened runtime that protects signed clients on the original platform. A
// sealed client is installed set-group-id to the platform's group, so that the kernel starts it
// in secure execution (the loader ignores LD_*, glibc drops the unsafe environment) and
// non-dumpable from its exec: no other process of its user can load code into it, attach to it or
// open its memory at any moment of its life.
#pragma once

#include <expected>

#include "platform/linux/code_signing/signing_failure.h"
#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

// The group that every client is installed set-group-id to; it has no members.
inline constexpr const char* kClientGroup = "tarnel";

// The executable of the process that `token` names, opened through the process's own link to it
// (/proc/PID/exe). errSecCSNoSuchCode when that process has exited or its id now names another
// process; errSecCSGuestInvalid, with the reason, unless it was started sealed and is still as
// the sealed start left it: its effective group (from the token) is `clientGroup`, which must
// exist; AT_SECURE in its auxiliary vector; it lives in this process's user and pid namespaces;
// no seccomp filter, no tracer on any thread, not dumpable; and no executable code beyond its own
// executable and files that only root can have put there (owned by root, unwritable by others,
// in a folder of the same kind), none in anonymous memory.
std::expected<UniqueFd, SigningFailure> openPeerExecutable(const AuditToken& token,
                                                           const std::string& clientGroup);

}  // namespace tarnel::linux_platform
