// tarnelctl: the client that stands in for the desktop editor. It sends one request to the
// helper and says what came of it, installs the helper, or prints its help (help_text.cc, where
// the exit statuses are listed too).
#include <sys/auxv.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "model/helper_label.h"
#include "model/remote_protocols.h"
#include "model/right_name.h"
#include "platform/linux/authorization/client.h"
#include "platform/linux/transport/service_client.h"
#include "platform/linux/wire/frame_io.h"
#include "text/utf8.h"
#include "tools/tarnelctl/authorization_status.h"
#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/help_text.h"
#include "tools/tarnelctl/helper_install.h"
#include "tools/tarnelctl/report.h"

#if defined(__SANITIZE_ADDRESS__)
// In a sanitizer build: the leak check stops the process with ptrace, which its own group denies
// to its user once it runs sealed, and it then fails the exit. Environment settings do not reach
// a process in secure execution, so the program asks for it to be left out itself, there alone.
extern "C" const char* __lsan_default_options() {
  return ::getauxval(AT_SECURE) != 0 && ::getuid() != 0 ? "detect_leaks=0" : "";
}
#endif

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using namespace tarnel::tarnelctl;

const RemoteMethod& method(const char* selector) {
  for (const auto& candidate : remoteActionType().methods) {
    if (candidate.selector == selector) return candidate;
  }
  throw std::logic_error("RemoteActionType has no method " + std::string(selector));
}

std::optional<std::string> readWhole(std::istream& in) {
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad() || bytes.size() > kMaximumFrameLength) return std::nullopt;
  return bytes;
}

// An authorization status that came back, with what it means here and now.
Failure authorizationFailure(const std::string& what, OSStatus status, AuthorizationStep step) {
  return Failure{
      .what = what + " (status " + std::to_string(status) + ")",
      .explanation = explainAuthorizationStatus(status, step, probeAuthorizationServers()),
      .authorizationStatus = status};
}

// The authorization of a privileged request: created here, its right obtained in advance, kept
// alive until the reply has come so that the helper finds its creator running.
std::expected<AuthorizationClient, Failure> authorize() {
  auto authorization = AuthorizationClient::create();
  if (!authorization) {
    return std::unexpected(
        authorizationFailure("no authorization", authorization.error(), AuthorizationStep::create));
  }
  const AuthorizationItemSet rights{{.name = helperRightName}};
  const auto status = authorization->copyRights(
      rights, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
  if (status != errAuthorizationSuccess) {
    return std::unexpected(
        authorizationFailure("the right " + std::string(helperRightName) + " was not granted",
                             status, AuthorizationStep::copyRights));
  }
  return std::move(*authorization);
}

Report sendRequest(const Command& command, ServiceClient& connection) {
  const auto& options = command.options;
  std::optional<std::string> string;
  if (options.stringFile) {
    std::ifstream file(*options.stringFile, std::ios::binary);
    string = file ? readWhole(file) : std::nullopt;
    if (!string)
      return reportFailure(command.format, {.what = "cannot read " + *options.stringFile});
    if (!isValidUtf8(*string)) {
      return reportFailure(command.format, {.what = *options.stringFile + " is not UTF-8 text"});
    }
  }
  std::optional<AuthorizationClient> authorization;
  std::optional<Bytes> authData = options.authData;
  if (options.privileged && !authData) {
    auto granted = authorize();
    if (!granted) return reportFailure(command.format, granted.error());
    const auto form = granted->makeExternalForm();
    if (!form) {
      return reportFailure(command.format,
                           authorizationFailure("no external form", form.error(),
                                                AuthorizationStep::makeExternalForm));
    }
    authData = Bytes(form->begin(), form->end());
    authorization.emplace(std::move(*granted));
  }
  const auto request = buildRequest(command.kind, options, string, authData);
  return reportReply(command, connection.call(method("runActionWith:reply:"), {Value(request)}));
}

Report run(const Command& command) {
  switch (command.verb) {
    case Command::Verb::help:
      return Report{.out = helpText()};
    case Command::Verb::installHelper:
      return installHelper(command.format);
    default:
      break;
  }
  auto connection = ServiceClient::connectToService(helperLabel);
  if (!connection) {
    return reportFailure(
        command.format,
        Failure{.what = "cannot connect: " + connection.error().description,
                .status = kRefused,
                .explanation = StatusExplanation{
                    .meaning = "nothing serves the helper's socket",
                    .check = "that the helper is installed (tarnelctl install-helper) and its job "
                             "loaded (launchctl list)"}});
  }
  switch (command.verb) {
    case Command::Verb::endpoint:
      return reportReply(command, connection->call(method("listenerEndpointWithReply:"), {}));
    case Command::Verb::send: {
      const auto request = readWhole(std::cin);
      if (!request) {
        return reportFailure(command.format, {.what = "standard input could not be read whole"});
      }
      return reportReply(
          command, connection->callWithEncodedArguments(method("runActionWith:reply:"),
                                                        {Bytes(request->begin(), request->end())}));
    }
    default:
      return sendRequest(command, *connection);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto caller = ::getuid() == 0 ? Caller::root : Caller::otherUser;
  const auto command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), caller);
  if (!command) {
    std::cerr << "tarnelctl: " << command.error() << "\n"
              << usageLines() << "tarnelctl --help lists the subcommands\n";
    return kUsage;
  }
  const auto report = run(*command);
  std::cout << report.out << std::flush;
  std::cerr << report.err;
  return report.status;
}
