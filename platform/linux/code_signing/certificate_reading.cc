#include "platform/linux/code_signing/certificate_reading.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>

#include "platform/linux/code_signing/openssl_ptr.h"

namespace tarnel::linux_platform {

namespace {

std::optional<std::string> utf8(const ASN1_STRING* string) {
  unsigned char* converted = nullptr;
  const int length = ASN1_STRING_to_UTF8(&converted, string);
  if (length < 0) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(converted), static_cast<std::size_t>(length));
  OPENSSL_free(converted);
  return text;
}

std::optional<std::string> dottedOid(const ASN1_OBJECT* object) {
  char buffer[128];
  const int length = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::optional<std::string> extensionText(X509_EXTENSION* extension) {
  const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(extension);
  const unsigned char* cursor = ASN1_STRING_get0_data(data);
  const long length = ASN1_STRING_length(data);
  ASN1TypePtr value(d2i_ASN1_TYPE(nullptr, &cursor, length));
  if (!value || cursor != ASN1_STRING_get0_data(data) + length) return std::nullopt;
  switch (value->type) {
    case V_ASN1_UTF8STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_IA5STRING:
    case V_ASN1_T61STRING:
    case V_ASN1_BMPSTRING:
    case V_ASN1_UNIVERSALSTRING:
    case V_ASN1_VISIBLESTRING:
      return utf8(value->value.asn1_string);
    default:
      return std::nullopt;
  }
}

}  // namespace

CertificateFields readCertificateFields(X509* certificate) {
  CertificateFields fields;
  const X509_NAME* subject = X509_get_subject_name(certificate);
  for (int i = 0; i < X509_NAME_entry_count(subject); ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(subject, i);
    const int nid = OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry));
    for (const auto& subjectKey : kSubjectKeys) {
      if (subjectKey.nid != nid) continue;
      if (auto value = utf8(X509_NAME_ENTRY_get_data(entry))) {
        fields.subject.emplace_back(std::string(subjectKey.key), std::move(*value));
      }
    }
  }
  for (int i = 0; i < X509_get_ext_count(certificate); ++i) {
    X509_EXTENSION* extension = X509_get_ext(certificate, i);
    if (auto oid = dottedOid(X509_EXTENSION_get_object(extension))) {
      fields.extensions.push_back({std::move(*oid), extensionText(extension)});
    }
  }
  return fields;
}

}  // namespace tarnel::linux_platform
