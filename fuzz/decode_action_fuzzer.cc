// Request decoding: the input is the CBOR of a request as a client sends it to
// runActionWith:reply:, decoded with the transport's limits; a dictionary goes to decodeAction.
// An action carries the payload of its own kind, or none, and never the payload of another; any
// value that decodes encodes to bytes that decode to it again.
#include <cstddef>
#include <cstdint>

#include "fuzz/finding.h"
#include "model/decode_action.h"
#include "platform/linux/wire/cbor_codec.h"

namespace {

using namespace tarnel;
using tarnel::fuzz::expect;

int payloadCount(const Action& action) {
  return action.save.has_value() + action.load.has_value() + action.delete_.has_value() +
         action.test.has_value() + action.remove.has_value();
}

// Whether the action carries the payload that its kind needs.
bool hasOwnPayload(const Action& action) {
  using Kind = Action::Kind;
  switch (action.kind) {
    case Kind::save:
    case Kind::saveLoad:
      return action.save.has_value();
    case Kind::delete_:
      return action.delete_.has_value();
    case Kind::load:
      return action.load.has_value();
    case Kind::remove:
      return action.remove.has_value();
    case Kind::test:
      return action.test.has_value();
    case Kind::uninstall:
    case Kind::terminate:
      return false;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto request = linux_platform::decodeCbor({data, size});
  if (!request) return 0;
  const auto encoded = linux_platform::encodeCbor(*request);
  const auto again = linux_platform::decodeCbor(encoded);
  expect(again.has_value() && linux_platform::encodeCbor(*again) == encoded,
         "a decoded value does not survive encoding");
  const auto* dictionary = request->get<Dictionary>();
  if (dictionary == nullptr) return 0;
  const auto action = decodeAction(*dictionary);
  if (!action) return 0;
  expect(payloadCount(*action) == (hasOwnPayload(*action) ? 1 : 0),
         "an action carries a payload of another kind");
  return 0;
}
