#include "platform/linux/code_signing/signing_error.h"

#include <cstring>

#include "platform/linux/posix/message_text.h"

namespace tarnel::linux_platform {

namespace {

using Kind = SigningError::Kind;

// {s} the subject, {r} the ELF reason, {e} the system's words for the error number.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::invalidIdentifier, "invalid signing identifier"},
    {Kind::unopenable, "cannot open {s}: {e}"},
    {Kind::unstatable, "cannot read {s}: {e}"},
    {Kind::notRegularFile, "{s} is not a regular file"},
    {Kind::unreadableElf, "{s}: {r}"},
    {Kind::dataBehindImage,
     "{s}: the file holds data behind its ELF image that is not a signature"},
    {Kind::unreadableCode, "cannot read {s}"},
    {Kind::infoPlistDiffers, "the information dictionary given is not the one in the executable"},
    {Kind::infoPlistNotDictionary,
     "the information dictionary is not an XML property list dictionary"},
    {Kind::outOfMemory, "out of memory"},
    {Kind::signingFailed, "signing failed"},
    {Kind::unencodableSignature, "cannot encode the signature"},
    {Kind::uncreatableBeside, "cannot create a file beside {s}: {e}"},
    {Kind::unreadableFileToSign, "cannot read the file to sign"},
    {Kind::unwritable, "cannot write the signed file: {e}"},
    {Kind::ownerNotKept, "cannot keep the owner of {s}: {e}"},
    {Kind::modeNotKept, "cannot keep the mode of {s}: {e}"},
    {Kind::notReplaced, "cannot replace {s}: {e}"},
};
static_assert(everyKindHasOneText(kTexts, Kind::notReplaced));

}  // namespace

std::string describe(const SigningError& error) {
  return filledIn(textOf(kTexts, error.kind),
                  {{'s', error.subject},
                   {'r', error.elf ? describe(*error.elf) : std::string()},
                   {'e', std::strerror(error.systemError)}});
}

}  // namespace tarnel::linux_platform
