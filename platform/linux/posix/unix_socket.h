// Unix stream sockets named by a path: the listening end of a service and the connecting end of
// its clients. Every descriptor is close-on-exec.
#pragma once

#include <sys/socket.h>

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "model/platform_error.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

inline constexpr const char* posixErrorDomain = "NSPOSIXErrorDomain";

// The error for a failed system call: the error number as the code, what failed and why as the
// description.
PlatformError posixError(std::string_view what, int errorNumber);

// A non-blocking socket listening at `path`, readable and writable by every user (clients are
// judged by what they are, not by who runs them). A socket file left by a listener that is gone is
// replaced; one that a live listener answers at, or any other item, is an error.
std::expected<UniqueFd, PlatformError> listenAt(const std::string& path);

// A blocking socket connected to the listener at `path`.
std::expected<UniqueFd, PlatformError> connectTo(const std::string& path);

// The process id, user and group of the peer of the connected Unix socket `socketFd`, as the
// kernel recorded them when the peer connected (SO_PEERCRED); nothing when they cannot be had, or
// name no process.
std::optional<ucred> peerCredentials(int socketFd);

// The path that the Unix socket `socketFd` is bound to; nothing for an unnamed one.
std::optional<std::string> boundPath(int socketFd);

// Whether `socketFd` is a listening Unix stream socket.
bool isListeningUnixStreamSocket(int socketFd);

}  // namespace tarnel::linux_platform
