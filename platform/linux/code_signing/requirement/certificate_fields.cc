#include "platform/linux/code_signing/requirement/certificate_fields.h"

namespace tarnel::linux_platform {

bool isSubjectKey(std::string_view key) {
  for (const auto& subjectKey : kSubjectKeys) {
    if (subjectKey.key == key) return true;
  }
  return false;
}

}  // namespace tarnel::linux_platform
