// Why an executable could not be signed: the request, the file, its ELF layout, the signature
// that could not be made, or the signed file that could not be written in its place. The words
// are made by describe(), where the reason leaves the program (codesign's stderr).
#pragma once

#include <optional>
#include <string>

#include "platform/linux/code_signing/elf_error.h"

namespace tarnel::linux_platform {

struct SigningError {
  enum class Kind {
    invalidIdentifier,
    // The file to sign; `subject`: its path
    unopenable,  // with `systemError`
    unstatable,  // with `systemError`
    notRegularFile,
    unreadableElf,  // with `elf`
    dataBehindImage,
    unreadableCode,
    // The information dictionary
    infoPlistDiffers,
    infoPlistNotDictionary,
    // The signature
    outOfMemory,
    signingFailed,
    unencodableSignature,
    // The signed file; `subject`: the path of the file signed, with `systemError`
    uncreatableBeside,
    unreadableFileToSign,
    unwritable,
    ownerNotKept,
    modeNotKept,
    notReplaced,
  };
  Kind kind;
  std::string subject;
  int systemError = 0;
  std::optional<ElfError> elf;
};

// The reason in words: "cannot replace /usr/bin/editor: Permission denied".
std::string describe(const SigningError& error);

}  // namespace tarnel::linux_platform
