// The process behind an audit token, held through a pidfd so that a process id that has passed
// to another process never counts as the peer, and refused when code could have been injected
// into it: the stand-in for the hardened runtime that protects signed clients on the original
// platform.
#pragma once

#include <expected>

#include "platform/linux/code_signing/signing_failure.h"
#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

// The executable of the process that `token` names, opened through the process's own link to it
// (/proc/PID/exe). errSecCSNoSuchCode when that process has exited or its id now names another
// process; errSecCSGuestInvalid when it is traced, dumpable (other processes of its user could
// attach to it or write into its memory), its initial environment sets LD_PRELOAD,
// LD_LIBRARY_PATH or LD_AUDIT, or it maps executable code from a file that is neither its own
// executable nor owned by root, unwritable by others, in a folder that only root can write.
std::expected<UniqueFd, SigningFailure> openPeerExecutable(const AuditToken& token);

}  // namespace tarnel::linux_platform
