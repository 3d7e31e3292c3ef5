// Why a signature's own format cannot be read: its trailer, the code directory it signs, or the
// CMS signed data around that directory is malformed. The words are made by describe(), where the
// reason leaves the program.
#pragma once

#include <cstdint>
#include <string>

namespace tarnel::linux_platform {

struct SignatureFormatError {
  enum class Kind {
    // The trailer that ends a signed file
    unreadableTrailer,
    unknownTrailerVersion,
    trailerMismatch,  // it does not account for the whole file
    // The code directory
    notCodeDirectory,
    unknownDirectoryVersion,
    tooManyEntries,
    truncatedDirectory,
    truncatedEntry,
    unknownEntry,   // `entry`: its type
    repeatedEntry,  // `entry`: its type
    invalidIdentifier,
    unknownHashType,
    invalidCodeLength,
    invalidCodeHash,
    bytesAfterEntries,
    missingEntry,  // `entry`: its type
    // The CMS signed data
    notCms,
    bytesAfterCms,
    notSignedData,
    notOneSigner,
    noCodeDirectory,
    signerCertificateMissing,
    unprintableSubject,
  };
  Kind kind;
  std::uint64_t entry = 0;
};

// The reason in words: "repeated code directory entry 1".
std::string describe(const SignatureFormatError& error);

}  // namespace tarnel::linux_platform
