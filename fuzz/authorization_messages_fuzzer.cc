// The authorization protocol: the input is one frame's payload, taken as the authorization server
// takes a request and as the helper takes a reply. What decodes encodes to a message that decodes
// to the same request or reply, and a request's rights stay within their limits.
#include <cstddef>
#include <cstdint>
#include <variant>

#include "fuzz/finding.h"
#include "platform/linux/authorization/protocol.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using tarnel::fuzz::expect;

bool rightsWithinLimits(const AuthorizationRequest& request) {
  const auto* copy = std::get_if<CopyRightsRequest>(&request);
  if (copy == nullptr) return true;
  if (copy->rights.empty() || copy->rights.size() > kMaximumRightsPerRequest) return false;
  for (const auto& right : copy->rights) {
    if (right.name.empty() || right.name.size() > kMaximumRightNameLength ||
        right.value.size() > kMaximumRightValueLength) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const auto request = decodeRequest({data, size})) {
    expect(rightsWithinLimits(*request), "a request's rights exceed their limits");
    expect(decodeRequest(encodeRequest(*request)) == request,
           "a decoded request does not survive encoding");
  }
  if (const auto reply = decodeReply({data, size})) {
    expect(decodeReply(encodeReply(*reply)) == reply, "a decoded reply does not survive encoding");
  }
  return 0;
}
