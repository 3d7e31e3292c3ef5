// The signature reader: the input is an executable as it lies on disk, held in a memory file. Its
// ELF layout, its embedded property lists and its signature trailer are read; its signature is
// described as codesign shows it and validated, strictly and leniently, against the anchor that
// the signed seeds chain to. A file that validates strictly validates leniently too, to the same
// identifier.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/finding.h"
#include "platform/linux/code_signing/code_signature.h"
#include "platform/linux/code_signing/code_validation.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/code_signing/info_plist.h"
#include "platform/linux/posix/unique_fd.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using tarnel::fuzz::expect;

constexpr const char* kAnchorsFolder = TARNEL_FUZZ_ANCHORS;

UniqueFd fileHolding(std::span<const std::uint8_t> bytes) {
  UniqueFd file(::memfd_create("signed-file", MFD_CLOEXEC));
  expect(file.valid(), "memfd_create failed");
  while (!bytes.empty()) {
    const auto written = ::write(file.get(), bytes.data(), bytes.size());
    expect(written > 0, "cannot write the memory file");
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return file;
}

void readLayout(int fd, std::uint64_t size) {
  (void)readSignatureTrailer(fd, size);
  const auto image = readElfImage(fd, size);
  if (!image) return;
  expect(image->extent <= size, "the ELF image ends past the file");
  for (const auto name : {kInfoPlistSection, kLaunchdPlistSection}) {
    const auto section = readElfSection(fd, *image, name, kMaxInfoPlistLength);
    if (section && *section) (void)parseInfoDictionary(**section);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fileHolding({data, size});
  readLayout(file.get(), size);
  (void)describeSignature(file.get());
  const auto strict = validateSignedFile(file.get(), kAnchorsFolder, kValidityFlags);
  const auto lenient = validateSignedFile(file.get(), kAnchorsFolder, 0);
  if (strict) {
    expect(lenient && lenient->identifier == strict->identifier,
           "a signature valid under strict validation is not valid under lenient validation");
  }
  return 0;
}
