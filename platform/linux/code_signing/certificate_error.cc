#include "platform/linux/code_signing/certificate_error.h"

#include <algorithm>
#include <cstdlib>

namespace tarnel::linux_platform {

namespace {

using Kind = CertificateError::Kind;

// The text of each kind: `before`, the subject, `after`, then the refusal's own words.
struct Row {
  Kind kind;
  const char* before;
  const char* after;
};

constexpr Row kRows[] = {
    {Kind::unreadableFile, "cannot read ", ""},
    {Kind::outOfMemoryReading, "out of memory reading ", ""},
    {Kind::damagedCertificate, "damaged certificate in ", ""},
    {Kind::noCertificate, "no certificate in ", ""},
    {Kind::noPrivateKey, "no unencrypted private key in ", ""},
    {Kind::notOneCertificate, "", " must hold exactly the signing certificate"},
    {Kind::foreignKey, "the key in ", " does not belong to the certificate"},
    {Kind::unopenableAnchorsFolder, "cannot open the anchors folder ", ""},
    {Kind::unreadableAnchorsFolder, "cannot read the anchors folder ", ""},
    {Kind::tooManyAnchorFiles, "too many files in ", ""},
    {Kind::anchorsRefused, "the trust anchors in ", " are refused: "},
    {Kind::anchorsFolderNotFolder, "the anchors folder ", " is not a folder"},
    {Kind::unreadableAnchor, "cannot read the anchor ", ""},
    {Kind::anchorNotFile, "the anchor ", " is not a file"},
    {Kind::outOfMemory, "out of memory", ""},
    {Kind::unaddableAnchor, "cannot add the anchor in ", ""},
    {Kind::noTrustAnchor, "no trust anchor in ", ""},
};

}  // namespace

std::string describe(const CertificateError& error) {
  const auto row = std::ranges::find(kRows, error.kind, &Row::kind);
  // Every kind has its row: a kind without one is a programming error.
  if (row == std::end(kRows)) std::abort();
  return row->before + error.subject + row->after +
         (error.refusal ? describe(*error.refusal) : std::string());
}

}  // namespace tarnel::linux_platform
