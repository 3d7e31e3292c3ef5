#include "platform/linux/code_signing/signed_data.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>

#include "platform/code_signing.h"
#include "platform/linux/code_signing/certificate_reading.h"
#include "platform/linux/code_signing/pem_certificates.h"

namespace tarnel::linux_platform {

namespace {

SigningFailure invalid(std::string reason) { return {errSecCSSignatureInvalid, std::move(reason)}; }

using FormatError = SignatureFormatError::Kind;

std::unexpected<SignatureFormatError> malformed(FormatError kind) {
  return std::unexpected(SignatureFormatError{kind});
}

std::expected<CmsPtr, SignatureFormatError> parseCms(std::span<const std::uint8_t> der,
                                                     Strictness strictness) {
  const unsigned char* cursor = der.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
  ERR_clear_error();
  if (!cms) return malformed(FormatError::notCms);
  if (strictness == Strictness::strict && cursor != der.data() + der.size()) {
    return malformed(FormatError::bytesAfterCms);
  }
  if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
    return malformed(FormatError::notSignedData);
  }
  if (sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms.get())) != 1) {
    return malformed(FormatError::notOneSigner);
  }
  ASN1_OCTET_STRING** content = CMS_get0_content(cms.get());
  if (!content || !*content) return malformed(FormatError::noCodeDirectory);
  return cms;
}

Bytes memoryContents(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  if (length <= 0) return {};
  return Bytes(data, data + length);
}

// A certificate that signs code: if it limits its uses at all, code signing is among them.
bool maySignCode(X509* certificate) {
  const auto flags = X509_get_extension_flags(certificate);
  if ((flags & EXFLAG_XKUSAGE) && !(X509_get_extended_key_usage(certificate) & XKU_CODE_SIGN)) {
    return false;
  }
  if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE)) {
    return false;
  }
  return true;
}

// When `certificate` stops being valid.
std::optional<std::chrono::system_clock::time_point> endOfValidity(X509* certificate) {
  std::tm end{};
  if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &end) != 1) return std::nullopt;
  return std::chrono::system_clock::from_time_t(::timegm(&end));
}

}  // namespace

std::expected<SigningIdentity, CertificateError> loadSigningIdentity(
    const std::string& certificatePath, const std::string& keyPath,
    const std::optional<std::string>& chainPath) {
  auto certificates = readCertificates(certificatePath);
  if (!certificates) return std::unexpected(certificates.error());
  if (sk_X509_num(certificates->get()) != 1) {
    return std::unexpected(
        CertificateError{CertificateError::Kind::notOneCertificate, certificatePath, {}});
  }
  SigningIdentity identity;
  identity.certificate.reset(sk_X509_shift(certificates->get()));
  auto key = readPrivateKey(keyPath);
  if (!key) return std::unexpected(key.error());
  identity.key = std::move(*key);
  if (X509_check_private_key(identity.certificate.get(), identity.key.get()) != 1) {
    ERR_clear_error();
    return std::unexpected(CertificateError{CertificateError::Kind::foreignKey, keyPath, {}});
  }
  if (chainPath) {
    auto chain = readCertificates(*chainPath);
    if (!chain) return std::unexpected(chain.error());
    identity.chain = std::move(*chain);
  }
  return identity;
}

std::expected<Bytes, SigningError> signData(const SigningIdentity& identity,
                                            std::span<const std::uint8_t> content) {
  const auto failed = [](SigningError::Kind kind) {
    return std::unexpected(SigningError{kind, {}, 0, std::nullopt});
  };
  BioPtr input(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
  if (!input) return failed(SigningError::Kind::outOfMemory);
  CmsPtr cms(CMS_sign(identity.certificate.get(), identity.key.get(), identity.chain.get(),
                      input.get(), CMS_BINARY | CMS_NOSMIMECAP));
  if (!cms) {
    ERR_clear_error();
    return failed(SigningError::Kind::signingFailed);
  }
  unsigned char* der = nullptr;
  const int length = i2d_CMS_ContentInfo(cms.get(), &der);
  if (length <= 0) return failed(SigningError::Kind::unencodableSignature);
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

std::expected<VerifiedData, SigningFailure> verifySignedData(std::span<const std::uint8_t> der,
                                                             X509_STORE* anchors,
                                                             Strictness strictness) {
  auto cms = parseCms(der, strictness);
  if (!cms) return std::unexpected(invalid(describe(cms.error())));

  // First the signature over the content, by the certificate the signed data names; the chain
  // of that certificate is built and checked below, where it is also kept.
  BioPtr content(BIO_new(BIO_s_mem()));
  if (!content) return std::unexpected(SigningFailure{errSecCSInternalError, "out of memory"});
  if (CMS_verify(cms->get(), nullptr, nullptr, nullptr, content.get(),
                 CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
    ERR_clear_error();
    return std::unexpected(
        SigningFailure{errSecCSSignatureFailed, "the signature does not verify"});
  }
  const X509BorrowedStackPtr signers(CMS_get0_signers(cms->get()));
  X509* leaf =
      signers && sk_X509_num(signers.get()) == 1 ? sk_X509_value(signers.get(), 0) : nullptr;
  if (!leaf) {
    return std::unexpected(
        invalid(describe(SignatureFormatError{FormatError::signerCertificateMissing})));
  }

  X509StackPtr enclosed(CMS_get1_certs(cms->get()));
  X509StoreCtxPtr context(X509_STORE_CTX_new());
  if (!context || X509_STORE_CTX_init(context.get(), anchors, leaf, enclosed.get()) != 1) {
    return std::unexpected(SigningFailure{errSecCSInternalError, "out of memory"});
  }
  if (X509_verify_cert(context.get()) != 1) {
    const int error = X509_STORE_CTX_get_error(context.get());
    ERR_clear_error();
    return std::unexpected(SigningFailure{errSecCSSignatureNotVerifiable,
                                          std::string("the certificate chain is not trusted: ") +
                                              X509_verify_cert_error_string(error)});
  }
  if (!maySignCode(leaf)) {
    return std::unexpected(SigningFailure{errSecCSSignatureNotVerifiable,
                                          "the signing certificate may not sign code"});
  }
  X509StackPtr chain(X509_STORE_CTX_get1_chain(context.get()));
  VerifiedData verified{
      memoryContents(content.get()), {}, std::chrono::system_clock::time_point::max()};
  for (int i = 0; chain && i < sk_X509_num(chain.get()); ++i) {
    X509* certificate = sk_X509_value(chain.get(), i);
    verified.chain.push_back(readCertificateFields(certificate));
    const auto until = endOfValidity(certificate);
    if (!until) return std::unexpected(invalid("a certificate's end of validity cannot be read"));
    verified.validUntil = std::min(verified.validUntil, *until);
  }
  return verified;
}

std::expected<SignedDataContents, SignatureFormatError> readSignedData(
    std::span<const std::uint8_t> der) {
  auto cms = parseCms(der, Strictness::lenient);
  if (!cms) return std::unexpected(cms.error());
  ASN1_OCTET_STRING* content = *CMS_get0_content(cms->get());
  const auto* begin = ASN1_STRING_get0_data(content);
  SignedDataContents contents{Bytes(begin, begin + ASN1_STRING_length(content)), {}};

  X509StackPtr enclosed(CMS_get1_certs(cms->get()));
  if (CMS_set1_signers_certs(cms->get(), enclosed.get(), 0) < 0) {
    ERR_clear_error();
    return malformed(FormatError::signerCertificateMissing);
  }
  CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms->get()), 0);
  X509* certificate = nullptr;
  CMS_SignerInfo_get0_algs(signer, nullptr, &certificate, nullptr, nullptr);
  if (!certificate) return malformed(FormatError::signerCertificateMissing);
  BioPtr line(BIO_new(BIO_s_mem()));
  if (!line ||
      X509_NAME_print_ex(line.get(), X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253) < 0) {
    return malformed(FormatError::unprintableSubject);
  }
  const Bytes subject = memoryContents(line.get());
  contents.signerSubject.assign(subject.begin(), subject.end());
  return contents;
}

}  // namespace tarnel::linux_platform
