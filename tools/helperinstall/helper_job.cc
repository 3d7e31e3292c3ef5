#include "tools/helperinstall/helper_job.h"

#include <plist/plist.h>

#include <cstdint>
#include <memory>

namespace tarnel::helperinstall {

namespace {

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistOwner = std::unique_ptr<void, PlistFree>;

struct XmlFree {
  void operator()(char* text) const { plist_to_xml_free(text); }
};

}  // namespace

std::expected<std::string, HelperinstallError> helperJobDefinition(const Bytes& launchdPlist,
                                                                   const std::string& label,
                                                                   const std::string& program) {
  plist_t parsed = nullptr;
  plist_from_memory(reinterpret_cast<const char*>(launchdPlist.data()),
                    static_cast<std::uint32_t>(launchdPlist.size()), &parsed);
  const PlistOwner job(parsed);
  if (!job || plist_get_node_type(job.get()) != PLIST_DICT) {
    return std::unexpected(
        HelperinstallError{.kind = HelperinstallError::Kind::launchdPlistNotDictionary});
  }
  const plist_t labelNode = plist_dict_get_item(job.get(), "Label");
  std::uint64_t length = 0;
  const char* text = labelNode != nullptr && plist_get_node_type(labelNode) == PLIST_STRING
                         ? plist_get_string_ptr(labelNode, &length)
                         : nullptr;
  if (text == nullptr || std::string(text, length) != label) {
    return std::unexpected(HelperinstallError{
        .kind = HelperinstallError::Kind::launchdLabelNotIdentifier, .subject = label});
  }
  plist_dict_set_item(job.get(), "Program", plist_new_string(program.c_str()));
  char* xml = nullptr;
  std::uint32_t xmlLength = 0;
  plist_to_xml(job.get(), &xml, &xmlLength);
  const std::unique_ptr<char, XmlFree> owned(xml);
  if (!owned) {
    return std::unexpected(HelperinstallError{.kind = HelperinstallError::Kind::jobNotWritable});
  }
  return std::string(xml, xmlLength);
}

}  // namespace tarnel::helperinstall
