// helperinstall: installs a privileged helper for the application that asks for it, as the
// platform's helper install does, with an administrator's authorization.
//   helperinstall [--anchors FOLDER] [--authority-socket PATH] [--root FOLDER]
//                 [--launchctl PATH] APPLICATION HELPER
#include <cstdio>
#include <span>

#include "tools/helperinstall/command_line.h"
#include "tools/helperinstall/installation.h"
#include "tools/helperinstall/messages.h"

int main(int argc, char** argv) {
  using namespace tarnel::helperinstall;
  const auto settings = parseCommandLine(
      std::span<const char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!settings) {
    std::fprintf(stderr, "%s\n", messages::usage().c_str());
    return 64;
  }
  const auto installed = installHelper(*settings);
  if (!installed) {
    std::fprintf(stderr, "%s\n", describe(installed.error()).c_str());
    return 1;
  }
  std::printf("%s\n",
              messages::installed(installed->label, installed->helper, installed->job).c_str());
  return 0;
}
