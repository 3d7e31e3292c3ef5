// The code directory reader: the input is the content of a signature, the directory that a
// signature signs. It is parsed strictly and leniently; what strict parsing accepts, lenient
// parsing accepts alike, and any directory read encodes to bytes that strict parsing reads back
// unchanged. A bound information dictionary is read as validation reads it.
#include <cstddef>
#include <cstdint>

#include "fuzz/finding.h"
#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/info_plist.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using tarnel::fuzz::expect;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto strict = parseCodeDirectory({data, size}, Strictness::strict);
  const auto lenient = parseCodeDirectory({data, size}, Strictness::lenient);
  if (strict) {
    expect(lenient && *lenient == *strict, "lenient parsing refuses or changes a strict directory");
  }
  if (!lenient) return 0;
  const auto again = parseCodeDirectory(lenient->encode(), Strictness::strict);
  expect(again && *again == *lenient, "a code directory does not survive encoding");
  if (lenient->infoPlist) (void)parseInfoDictionary(*lenient->infoPlist);
  return 0;
}
