#include "platform/linux/code_signing/pem_certificates.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include "platform/linux/posix/file_reading.h"

namespace tarnel::linux_platform {

namespace {

constexpr std::size_t kMaxPemFileLength = 1024 * 1024;

std::expected<BioPtr, std::string> readPem(const std::string& path) {
  const auto text = readSmallFile(path, kMaxPemFileLength);
  if (!text) return std::unexpected("cannot read " + path);
  // The BIO must own its bytes: the text goes out of scope before the BIO does.
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || BIO_write(bio.get(), text->data(), static_cast<int>(text->size())) !=
                  static_cast<int>(text->size())) {
    return std::unexpected("out of memory reading " + path);
  }
  return bio;
}

// Refuses to ask for a pass phrase: keys for signing here are stored unencrypted.
int noPassphrase(char*, int, int, void*) { return 0; }

}  // namespace

std::expected<X509StackPtr, std::string> readCertificates(const std::string& path) {
  auto bio = readPem(path);
  if (!bio) return std::unexpected(bio.error());
  X509StackPtr certificates(sk_X509_new_null());
  if (!certificates) return std::unexpected("out of memory reading " + path);
  ERR_clear_error();
  while (X509* certificate = PEM_read_bio_X509(bio->get(), nullptr, noPassphrase, nullptr)) {
    if (sk_X509_push(certificates.get(), certificate) <= 0) {
      X509_free(certificate);
      return std::unexpected("out of memory reading " + path);
    }
  }
  // The loop ends at the end of the text, which OpenSSL reports as "no start line"; any other
  // error is a damaged certificate.
  const auto error = ERR_peek_last_error();
  ERR_clear_error();
  if (ERR_GET_REASON(error) != PEM_R_NO_START_LINE)
    return std::unexpected("damaged certificate in " + path);
  if (sk_X509_num(certificates.get()) == 0) return std::unexpected("no certificate in " + path);
  return certificates;
}

std::expected<EvpPkeyPtr, std::string> readPrivateKey(const std::string& path) {
  auto bio = readPem(path);
  if (!bio) return std::unexpected(bio.error());
  EvpPkeyPtr key(PEM_read_bio_PrivateKey(bio->get(), nullptr, noPassphrase, nullptr));
  ERR_clear_error();
  if (!key) return std::unexpected("no unencrypted private key in " + path);
  return key;
}

}  // namespace tarnel::linux_platform
