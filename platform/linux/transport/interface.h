// The interface made from a remote protocol: the methods whose calls a connection lets through,
// each with the kinds its arguments and its reply must have.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/linux/transport/method_signature.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

class LinuxInterface : public XPCInterface {
 public:
  // A method whose type encoding cannot be read is left out, so that no call of it is delivered.
  explicit LinuxInterface(const RemoteProtocol& protocol);

  // The method named by `selector`; nullptr when the interface lacks it.
  const MethodSignature* method(std::string_view selector) const;

 private:
  std::map<std::string, MethodSignature, std::less<>> methods_;
};

}  // namespace tarnel::linux_platform
