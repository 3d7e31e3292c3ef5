#include "platform/linux/code_signing/code_validation.h"

#include <sys/stat.h>

#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/code_signature.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/code_signing/info_plist.h"
#include "platform/linux/code_signing/signed_data.h"
#include "platform/linux/code_signing/trust_anchors.h"
#include "platform/linux/posix/file_reading.h"

namespace tarnel::linux_platform {

namespace {

std::unexpected<SigningFailure> failure(OSStatus status, std::string reason) {
  return std::unexpected(SigningFailure{status, std::move(reason)});
}

// The parts of a signed file that validation and description share: its layout, its trailer
// and the signature blob.
struct SignedFile {
  ElfImage image;
  SignatureTrailer trailer;
  Bytes blob;
};

std::expected<SignedFile, SigningFailure> readSignedFile(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return failure(errSecCSStaticCodeNotFound, "the code is not a readable file");
  }
  const auto fileSize = static_cast<std::uint64_t>(status.st_size);
  auto image = readElfImage(fd, fileSize);
  if (!image) return failure(errSecCSBadObjectFormat, describe(image.error()));
  const auto trailer = readSignatureTrailer(fd, fileSize);
  if (!trailer) return failure(errSecCSSignatureInvalid, describe(trailer.error()));
  if (!*trailer) return failure(errSecCSUnsigned, "code object is not signed at all");
  // The executable's own headers and contents must all lie in the signed bytes.
  if (image->extent > (*trailer)->codeLength) {
    return failure(errSecCSSignatureInvalid, "the signature overlaps the executable");
  }
  auto blob =
      readRange(fd, (*trailer)->codeLength, static_cast<std::size_t>((*trailer)->blobLength));
  if (!blob) return failure(errSecCSSignatureInvalid, "cannot read the signature");
  return SignedFile{std::move(*image), **trailer, std::move(*blob)};
}

}  // namespace

std::expected<ValidatedCode, SigningFailure> validateCode(int fd, const std::string& anchorsFolder,
                                                          SecCSFlags flags) {
  if ((flags & ~kValidityFlags) != 0)
    return failure(errSecCSInvalidFlags, "unknown validity flags");
  const auto strictness = (flags & kSecCSStrictValidate) ? Strictness::strict : Strictness::lenient;

  const auto file = readSignedFile(fd);
  if (!file) return std::unexpected(file.error());
  if (strictness == Strictness::strict) {
    if (file->trailer.flags != 0) return failure(errSecCSSignatureInvalid, "unknown trailer flags");
    if (file->image.extent != file->trailer.codeLength) {
      return failure(errSecCSSignatureInvalid,
                     "unsigned data between the executable and its signature");
    }
  }

  const auto anchors = loadTrustAnchors(anchorsFolder);
  if (!anchors) return failure(errSecCSSignatureNotVerifiable, describe(anchors.error()));
  const auto verified = verifySignedData(file->blob, anchors->get(), strictness);
  if (!verified) return std::unexpected(verified.error());
  const auto directory = parseCodeDirectory(verified->content, strictness);
  if (!directory) return failure(errSecCSSignatureInvalid, describe(directory.error()));

  if (directory->codeLength != file->trailer.codeLength) {
    return failure(errSecCSSignatureFailed, "the signature is for code of another length");
  }
  const auto hash = hashCode(fd, file->trailer.codeLength);
  if (!hash) return failure(errSecCSStaticCodeNotFound, "cannot read the code");
  if (*hash != directory->codeHash)
    return failure(errSecCSSignatureFailed, "the code has been modified");

  // Only now, with the bytes known to be the signer's, is anything in them interpreted further.
  const auto section = readElfSection(fd, file->image, kInfoPlistSection, kMaxInfoPlistLength);
  if (!section) return failure(errSecCSInfoPlistFailed, describe(section.error()));
  if (*section && *section != directory->infoPlist) {
    return failure(errSecCSInfoPlistFailed, "the information dictionary is not the one signed");
  }
  ValidatedCode validated{.context = {.anchored = true,
                                      .identifier = directory->identifier,
                                      .chain = verified->chain,
                                      .info = {}},
                          .validUntil = verified->validUntil};
  if (directory->infoPlist) {
    auto info = parseInfoDictionary(*directory->infoPlist);
    if (!info) return failure(errSecCSInfoPlistFailed, "the information dictionary is damaged");
    validated.context.info = std::move(*info);
  }
  return validated;
}

std::expected<RequirementContext, SigningFailure> validateSignedFile(
    int fd, const std::string& anchorsFolder, SecCSFlags flags) {
  auto validated = validateCode(fd, anchorsFolder, flags);
  if (!validated) return std::unexpected(validated.error());
  return std::move(validated->context);
}

std::expected<SignatureDescription, SigningFailure> describeSignature(int fd) {
  const auto file = readSignedFile(fd);
  if (!file) return std::unexpected(file.error());
  const auto contents = readSignedData(file->blob);
  if (!contents) return failure(errSecCSSignatureInvalid, describe(contents.error()));
  const auto directory = parseCodeDirectory(contents->content, Strictness::lenient);
  if (!directory) return failure(errSecCSSignatureInvalid, describe(directory.error()));
  return SignatureDescription{directory->identifier, contents->signerSubject, directory->infoPlist};
}

}  // namespace tarnel::linux_platform
