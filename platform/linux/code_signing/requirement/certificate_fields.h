// What a requirement can ask of a certificate, read out of it once (code_signing/
// certificate_reading.h): the subject's attributes under the language's key names, and the
// extensions by dotted OID.
#pragma once

#include <openssl/obj_mac.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnel::linux_platform {

struct SubjectKey {
  std::string_view key;  // as written after `subject.` in a requirement
  int nid;
};

inline constexpr SubjectKey kSubjectKeys[] = {
    {"CN", NID_commonName},          {"C", NID_countryName},
    {"D", NID_description},          {"L", NID_localityName},
    {"O", NID_organizationName},     {"OU", NID_organizationalUnitName},
    {"ST", NID_stateOrProvinceName}, {"STREET", NID_streetAddress},
};

bool isSubjectKey(std::string_view key);

struct CertificateExtension {
  std::string oid;
  // The value when the extension holds a single string; nothing for markers and structures.
  std::optional<std::string> text;
};

struct CertificateFields {
  std::vector<std::pair<std::string, std::string>> subject;  // (language key, UTF-8 value)
  std::vector<CertificateExtension> extensions;
};

}  // namespace tarnel::linux_platform
