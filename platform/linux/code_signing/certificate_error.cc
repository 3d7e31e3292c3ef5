#include "platform/linux/code_signing/certificate_error.h"

#include "platform/linux/posix/message_text.h"

namespace tarnel::linux_platform {

namespace {

using Kind = CertificateError::Kind;

// {s} the subject, {r} the refusal's own words.
constexpr MessageText<Kind> kTexts[] = {
    {Kind::unreadableFile, "cannot read {s}"},
    {Kind::outOfMemoryReading, "out of memory reading {s}"},
    {Kind::damagedCertificate, "damaged certificate in {s}"},
    {Kind::noCertificate, "no certificate in {s}"},
    {Kind::noPrivateKey, "no unencrypted private key in {s}"},
    {Kind::notOneCertificate, "{s} must hold exactly the signing certificate"},
    {Kind::foreignKey, "the key in {s} does not belong to the certificate"},
    {Kind::unopenableAnchorsFolder, "cannot open the anchors folder {s}"},
    {Kind::unreadableAnchorsFolder, "cannot read the anchors folder {s}"},
    {Kind::tooManyAnchorFiles, "too many files in {s}"},
    {Kind::anchorsRefused, "the trust anchors in {s} are refused: {r}"},
    {Kind::anchorsFolderNotFolder, "the anchors folder {s} is not a folder"},
    {Kind::unreadableAnchor, "cannot read the anchor {s}"},
    {Kind::anchorNotFile, "the anchor {s} is not a file"},
    {Kind::outOfMemory, "out of memory"},
    {Kind::unaddableAnchor, "cannot add the anchor in {s}"},
    {Kind::noTrustAnchor, "no trust anchor in {s}"},
};
static_assert(everyKindHasOneText(kTexts, Kind::noTrustAnchor));

}  // namespace

std::string describe(const CertificateError& error) {
  return filledIn(
      textOf(kTexts, error.kind),
      {{'s', error.subject}, {'r', error.refusal ? describe(*error.refusal) : std::string()}});
}

}  // namespace tarnel::linux_platform
