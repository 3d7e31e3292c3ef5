#include "platform/linux/code_signing/signing_error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tarnel::linux_platform {

namespace {

using Kind = SigningError::Kind;

// The text of each kind: `before`, the subject, `after`, the ELF reason when there is one, then
// the system's words for the error number when the kind comes from a system call.
struct Row {
  Kind kind;
  const char* before;
  const char* after;
  bool fromSystemCall;
};

constexpr Row kRows[] = {
    {Kind::invalidIdentifier, "invalid signing identifier", "", false},
    {Kind::unopenable, "cannot open ", "", true},
    {Kind::unstatable, "cannot read ", "", true},
    {Kind::notRegularFile, "", " is not a regular file", false},
    {Kind::unreadableElf, "", ": ", false},
    {Kind::dataBehindImage, "",
     ": the file holds data behind its ELF image that is not a signature", false},
    {Kind::unreadableCode, "cannot read ", "", false},
    {Kind::infoPlistDiffers, "the information dictionary given is not the one in the executable",
     "", false},
    {Kind::infoPlistNotDictionary,
     "the information dictionary is not an XML property list dictionary", "", false},
    {Kind::outOfMemory, "out of memory", "", false},
    {Kind::signingFailed, "signing failed", "", false},
    {Kind::unencodableSignature, "cannot encode the signature", "", false},
    {Kind::uncreatableBeside, "cannot create a file beside ", "", true},
    {Kind::unreadableFileToSign, "cannot read the file to sign", "", false},
    {Kind::unwritable, "cannot write the signed file", "", true},
    {Kind::ownerNotKept, "cannot keep the owner of ", "", true},
    {Kind::modeNotKept, "cannot keep the mode of ", "", true},
    {Kind::notReplaced, "cannot replace ", "", true},
};

}  // namespace

std::string describe(const SigningError& error) {
  const auto row = std::ranges::find(kRows, error.kind, &Row::kind);
  // Every kind has its row: a kind without one is a programming error.
  if (row == std::end(kRows)) std::abort();
  std::string text = row->before + error.subject + row->after;
  if (error.elf) text += describe(*error.elf);
  if (row->fromSystemCall) text += std::string(": ") + std::strerror(error.systemError);
  return text;
}

}  // namespace tarnel::linux_platform
