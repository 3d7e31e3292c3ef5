#include "tools/helperinstall/messages.h"

#include "platform/linux/posix/message_text.h"

namespace tarnel::helperinstall::messages {

using linux_platform::join;

std::string usage() {
  return "usage: helperinstall [--anchors FOLDER] [--authority-socket PATH] [--root FOLDER]\n"
         "                     [--launchctl PATH] APPLICATION HELPER";
}

std::string notAuthorized(std::string_view right, std::string_view reason) {
  return join({"Not authorized to install a helper: the right ", right, " ", reason});
}

std::string refusedHelper(std::string_view path, std::string_view reason) {
  return join({"Refusing helper ", path, ": ", reason});
}

std::string refusedApplication(std::string_view path, std::string_view reason) {
  return join({"Refusing application ", path, ": ", reason});
}

std::string cannotInstall(std::string_view reason) {
  return join({"Could not install the helper: ", reason});
}

std::string previousRestored(bool loaded) {
  return loaded ? "the helper installed before is back in place and loaded"
                : "the helper installed before is back in place, not loaded, as it was";
}

std::string previousNotLoaded(std::string_view job) {
  return join(
      {"the helper installed before is back in place, but launchctl did not load ", job, " again"});
}

std::string previousNotRestored(std::string_view reason) {
  return join({"the helper installed before could not be put back: ", reason});
}

std::string nothingInstalledBefore() { return "no helper was installed before, and none is left"; }

std::string installed(std::string_view label, std::string_view helper, std::string_view job) {
  return join({"Installed ", label, ": ", helper, ", its job ", job, ", loaded"});
}

}  // namespace tarnel::helperinstall::messages
