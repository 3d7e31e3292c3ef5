#include "platform/linux/transport/interface.h"

namespace tarnel::linux_platform {

LinuxInterface::LinuxInterface(const RemoteProtocol& protocol) {
  for (const auto& method : protocol.methods) {
    if (auto signature = parseMethodSignature(method.typeEncoding)) {
      methods_.emplace(method.selector, std::move(*signature));
    }
  }
}

const MethodSignature* LinuxInterface::method(std::string_view selector) const {
  const auto found = methods_.find(selector);
  return found == methods_.end() ? nullptr : &found->second;
}

}  // namespace tarnel::linux_platform
