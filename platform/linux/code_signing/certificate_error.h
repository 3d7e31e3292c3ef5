// Why certificates or a key cannot be had: a PEM file that cannot be read or holds the wrong
// things, a signing identity whose parts do not fit, or trust anchors that cannot be read or that
// others than root may change. The words are made by describe(), where the reason leaves the
// program.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/posix/root_only_error.h"

namespace tarnel::linux_platform {

struct CertificateError {
  enum class Kind {
    // PEM files; `subject`: the file's path
    unreadableFile,
    outOfMemoryReading,
    damagedCertificate,
    noCertificate,
    noPrivateKey,
    // The signing identity; `subject`: the file's path
    notOneCertificate,
    foreignKey,
    // The trust anchors; `subject`: the folder, or the anchor's path or name
    unopenableAnchorsFolder,
    unreadableAnchorsFolder,
    tooManyAnchorFiles,
    anchorsRefused,  // `refusal`: which item may be changed by others, and why
    anchorsFolderNotFolder,
    unreadableAnchor,
    anchorNotFile,
    outOfMemory,
    unaddableAnchor,
    noTrustAnchor,
  };
  Kind kind;
  std::string subject;
  std::optional<RootOnlyError> refusal;
};

// The reason in words: "no certificate in /etc/tarnel/anchors/team.pem".
std::string describe(const CertificateError& error);

}  // namespace tarnel::linux_platform
