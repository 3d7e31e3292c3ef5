// codesign: signs an ELF executable, verifies its signature, or shows what the signature says.
#include <cstdio>
#include <span>

#include "tools/codesign/command_line.h"
#include "tools/codesign/operations.h"

int main(int argc, char** argv) {
  using namespace tarnel::codesign;
  const auto command = parseCommandLine(
      std::span<const char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!command) {
    std::fprintf(stderr, "%s\n", kUsage);
    return kUsageError;
  }
  switch (command->mode) {
    case Mode::sign:
      return signCode(*command, stderr);
    case Mode::verify:
      return verifyCode(*command, stderr);
    case Mode::display:
      return displayCode(*command, stdout, stderr);
  }
  return kUsageError;
}
