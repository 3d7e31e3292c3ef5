#include "platform/linux/code_signing/pem_certificates.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include "platform/linux/posix/file_reading.h"

namespace tarnel::linux_platform {

namespace {

constexpr std::size_t kMaxPemFileLength = 1024 * 1024;

using Error = CertificateError::Kind;

std::unexpected<CertificateError> error(Error kind, const std::string& path) {
  return std::unexpected(CertificateError{kind, path, {}});
}

std::expected<BioPtr, CertificateError> readPem(const std::string& path) {
  const auto text = readSmallFile(path, kMaxPemFileLength);
  if (!text) return error(Error::unreadableFile, path);
  // The BIO must own its bytes: the text goes out of scope before the BIO does.
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || BIO_write(bio.get(), text->data(), static_cast<int>(text->size())) !=
                  static_cast<int>(text->size())) {
    return error(Error::outOfMemoryReading, path);
  }
  return bio;
}

// Refuses to ask for a pass phrase: keys for signing here are stored unencrypted.
int noPassphrase(char*, int, int, void*) { return 0; }

}  // namespace

std::expected<X509StackPtr, CertificateError> readCertificates(const std::string& path) {
  auto bio = readPem(path);
  if (!bio) return std::unexpected(bio.error());
  X509StackPtr certificates(sk_X509_new_null());
  if (!certificates) return error(Error::outOfMemoryReading, path);
  ERR_clear_error();
  while (X509* certificate = PEM_read_bio_X509(bio->get(), nullptr, noPassphrase, nullptr)) {
    if (sk_X509_push(certificates.get(), certificate) <= 0) {
      X509_free(certificate);
      return error(Error::outOfMemoryReading, path);
    }
  }
  // The loop ends at the end of the text, which OpenSSL reports as "no start line"; any other
  // error is a damaged certificate.
  const auto last = ERR_peek_last_error();
  ERR_clear_error();
  if (ERR_GET_REASON(last) != PEM_R_NO_START_LINE) return error(Error::damagedCertificate, path);
  if (sk_X509_num(certificates.get()) == 0) return error(Error::noCertificate, path);
  return certificates;
}

std::expected<EvpPkeyPtr, CertificateError> readPrivateKey(const std::string& path) {
  auto bio = readPem(path);
  if (!bio) return std::unexpected(bio.error());
  EvpPkeyPtr key(PEM_read_bio_PrivateKey(bio->get(), nullptr, noPassphrase, nullptr));
  ERR_clear_error();
  if (!key) return error(Error::noPrivateKey, path);
  return key;
}

}  // namespace tarnel::linux_platform
