#include "platform/linux/code_signing/signature_format_error.h"

#include <algorithm>
#include <cstdlib>

namespace tarnel::linux_platform {

namespace {

using Kind = SignatureFormatError::Kind;

// The text of each kind, followed by the entry type for the kinds about one entry.
struct Row {
  Kind kind;
  const char* text;
  bool namesEntry;
};

constexpr Row kRows[] = {
    {Kind::unreadableTrailer, "cannot read the signature trailer", false},
    {Kind::unknownTrailerVersion, "unknown signature trailer version", false},
    {Kind::trailerMismatch, "signature trailer does not account for the file", false},
    {Kind::notCodeDirectory, "not a code directory", false},
    {Kind::unknownDirectoryVersion, "unknown code directory version", false},
    {Kind::tooManyEntries, "too many code directory entries", false},
    {Kind::truncatedDirectory, "truncated code directory", false},
    {Kind::truncatedEntry, "truncated code directory entry", false},
    {Kind::unknownEntry, "unknown code directory entry", true},
    {Kind::repeatedEntry, "repeated code directory entry", true},
    {Kind::invalidIdentifier, "invalid signing identifier", false},
    {Kind::unknownHashType, "unknown hash type", false},
    {Kind::invalidCodeLength, "invalid code length", false},
    {Kind::invalidCodeHash, "invalid code hash", false},
    {Kind::bytesAfterEntries, "bytes after the code directory entries", false},
    {Kind::missingEntry, "code directory lacks entry", true},
    {Kind::notCms, "the signature is not CMS data", false},
    {Kind::bytesAfterCms, "bytes after the signature's CMS data", false},
    {Kind::notSignedData, "the signature is not CMS signed data", false},
    {Kind::notOneSigner, "the signature does not have exactly one signer", false},
    {Kind::noCodeDirectory, "the signature encloses no code directory", false},
    {Kind::signerCertificateMissing, "the signer's certificate is missing", false},
    {Kind::unprintableSubject, "cannot print the signer's subject", false},
};

}  // namespace

std::string describe(const SignatureFormatError& error) {
  const auto row = std::ranges::find(kRows, error.kind, &Row::kind);
  // Every kind has its row: a kind without one is a programming error.
  if (row == std::end(kRows)) std::abort();
  std::string text = row->text;
  if (row->namesEntry) text += " " + std::to_string(error.entry);
  return text;
}

}  // namespace tarnel::linux_platform
