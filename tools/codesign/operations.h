// What codesign does in each mode, writing its findings and reasons to the streams given.
#pragma once

#include <cstdio>

#include "tools/codesign/command_line.h"

namespace tarnel::codesign {

// Exit statuses: success, a signature or file that fails, a command line not understood.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;

// Signs `command.file` in place, replacing an earlier signature.
int signCode(const Command& command, std::FILE* errors);
// kSuccess when the file's signature is valid under strict validation against the anchors
// folder (the platform's own unless given) and satisfies the requirement when one is given.
int verifyCode(const Command& command, std::FILE* errors);
// Prints the signing identifier, the leaf certificate's subject and the bound information
// dictionary, verifying nothing.
int displayCode(const Command& command, std::FILE* output, std::FILE* errors);

}  // namespace tarnel::codesign
