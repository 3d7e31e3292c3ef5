// tarnelctl: the client that stands in for the desktop editor. It sends one request to the
// helper and says what came of it, installs the helper, or prints its help (help_text.cc, where
// the exit statuses are listed too).
#include <sys/auxv.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/command_run.h"
#include "tools/tarnelctl/help_text.h"
#include "tools/tarnelctl/report.h"

#if defined(__SANITIZE_ADDRESS__)
// In a sanitizer build: the leak check stops the process with ptrace, which its own group denies
// to its user once it runs sealed, and it then fails the exit. Environment settings do not reach
// a process in secure execution, so the program asks for it to be left out itself, there alone.
extern "C" const char* __lsan_default_options() {
  return ::getauxval(AT_SECURE) != 0 && ::getuid() != 0 ? "detect_leaks=0" : "";
}
#endif

int main(int argc, char** argv) {
  using namespace tarnel::tarnelctl;
  const auto caller = ::getuid() == 0 ? Caller::root : Caller::otherUser;
  const auto command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), caller);
  if (!command) {
    std::cerr << "tarnelctl: " << describe(command.error()) << "\n"
              << usageLines() << "tarnelctl --help lists the subcommands\n";
    return kUsage;
  }
  const auto report = runCommand(*command);
  std::cout << report.out << std::flush;
  std::cerr << report.err;
  return report.status;
}
