#include "platform/linux/code_signing/signature_format_error.h"

#include "platform/linux/posix/message_text.h"

namespace tarnel::linux_platform {

namespace {

using Kind = SignatureFormatError::Kind;

// {n} the entry type.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::unreadableTrailer, "cannot read the signature trailer"},
    {Kind::unknownTrailerVersion, "unknown signature trailer version"},
    {Kind::trailerMismatch, "signature trailer does not account for the file"},
    {Kind::notCodeDirectory, "not a code directory"},
    {Kind::unknownDirectoryVersion, "unknown code directory version"},
    {Kind::tooManyEntries, "too many code directory entries"},
    {Kind::truncatedDirectory, "truncated code directory"},
    {Kind::truncatedEntry, "truncated code directory entry"},
    {Kind::unknownEntry, "unknown code directory entry {n}"},
    {Kind::repeatedEntry, "repeated code directory entry {n}"},
    {Kind::invalidIdentifier, "invalid signing identifier"},
    {Kind::unknownHashType, "unknown hash type"},
    {Kind::invalidCodeLength, "invalid code length"},
    {Kind::invalidCodeHash, "invalid code hash"},
    {Kind::bytesAfterEntries, "bytes after the code directory entries"},
    {Kind::missingEntry, "code directory lacks entry {n}"},
    {Kind::notCms, "the signature is not CMS data"},
    {Kind::bytesAfterCms, "bytes after the signature's CMS data"},
    {Kind::notSignedData, "the signature is not CMS signed data"},
    {Kind::notOneSigner, "the signature does not have exactly one signer"},
    {Kind::noCodeDirectory, "the signature encloses no code directory"},
    {Kind::signerCertificateMissing, "the signer's certificate is missing"},
    {Kind::unprintableSubject, "cannot print the signer's subject"},
};
static_assert(everyKindHasOneText(kTexts, Kind::unprintableSubject));

}  // namespace

std::string describe(const SignatureFormatError& error) {
  return filledIn(textOf(kTexts, error.kind), {{'n', std::to_string(error.entry)}});
}

}  // namespace tarnel::linux_platform
