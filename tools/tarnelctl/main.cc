// tarnelctl: the client that stands in for the desktop editor. It sends one request to the
// helper and prints the reply in CBOR diagnostic notation on one line.
//
// Exit status: 0 a reply came; 3 the connection ended without one; 4 the connection was refused
// or invalidated; 1 something failed here (the authorization, an unreadable file, a reply that
// does not read); 2 the command line is wrong, or asks for what only root may do.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "model/helper_label.h"
#include "model/remote_protocols.h"
#include "model/right_name.h"
#include "model/utf8.h"
#include "platform/linux/authorization/client.h"
#include "platform/linux/transport/service_client.h"
#include "platform/linux/wire/cbor_codec.h"
#include "platform/linux/wire/frame_io.h"
#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/diagnostic_notation.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
using tarnel::tarnelctl::Command;

enum ExitStatus {
  kReplied = 0,
  kFailedHere = 1,
  kUsage = 2,
  kEndedWithoutReply = 3,
  kRefused = 4,
};

int failHere(const std::string& message) {
  std::cerr << "tarnelctl: " << message << "\n";
  return kFailedHere;
}

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

int report(const std::expected<std::vector<ReplyArgument>, CallFailure>& reply) {
  if (!reply) {
    switch (reply.error()) {
      case CallFailure::invalidated:
        std::cerr << "tarnelctl: the connection was refused or invalidated\n";
        return kRefused;
      case CallFailure::endedWithoutReply:
        std::cerr << "tarnelctl: the connection ended without a reply\n";
        return kEndedWithoutReply;
      case CallFailure::badReply:
        return failHere("the reply could not be read");
      case CallFailure::unknownMethod:
        return failHere("the method's type encoding could not be read");
    }
  }
  std::string line;
  for (const auto& argument : *reply) {
    if (!line.empty()) line += ", ";
    line += std::visit([](const auto& value) { return tarnelctl::diagnosticNotation(value); },
                       argument);
  }
  std::cout << line << std::endl;
  return kReplied;
}

// The authorization of a privileged request: created here, its right obtained in advance, kept
// alive until the reply has come so that the helper finds its creator running.
std::expected<AuthorizationClient, std::string> authorize() {
  auto authorization = AuthorizationClient::create();
  if (!authorization) {
    return std::unexpected("no authorization (status " + std::to_string(authorization.error()) +
                           ")");
  }
  const AuthorizationItemSet rights{{.name = helperRightName}};
  const auto status = authorization->copyRights(
      rights, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
  if (status != errAuthorizationSuccess) {
    return std::unexpected("the right " + std::string(helperRightName) +
                           " was not granted (status " + std::to_string(status) + ")");
  }
  return std::move(*authorization);
}

int run(const Command& command) {
  auto connection = ServiceClient::connectToService(helperLabel);
  if (!connection) {
    std::cerr << "tarnelctl: cannot connect: " << connection.error().description << "\n";
    return kRefused;
  }
  switch (command.verb) {
    case Command::Verb::endpoint:
      return report(connection->call(method("listenerEndpointWithReply:"), {}));
    case Command::Verb::send: {
      const auto request = readWhole(std::cin);
      if (!request) return failHere("standard input could not be read whole");
      return report(connection->callWithEncodedArguments(
          method("runActionWith:reply:"), {Bytes(request->begin(), request->end())}));
    }
    case Command::Verb::request:
      break;
  }

  const auto& options = command.options;
  std::optional<std::string> string;
  if (options.stringFile) {
    std::ifstream file(*options.stringFile, std::ios::binary);
    string = file ? readWhole(file) : std::nullopt;
    if (!string) return failHere("cannot read " + *options.stringFile);
    if (!isValidUtf8(*string)) {
      return failHere(*options.stringFile + " is not UTF-8 text");
    }
  }
  std::optional<AuthorizationClient> authorization;
  std::optional<Bytes> authData = options.authData;
  if (options.privileged && !authData) {
    auto granted = authorize();
    if (!granted) return failHere(granted.error());
    const auto form = granted->makeExternalForm();
    if (!form) return failHere("no external form (status " + std::to_string(form.error()) + ")");
    authData = Bytes(form->begin(), form->end());
    authorization.emplace(std::move(*granted));
  }
  const auto request = tarnelctl::buildRequest(command.kind, options, string, authData);
  return report(connection->call(method("runActionWith:reply:"), {Value(request)}));
}

}  // namespace

int main(int argc, char** argv) {
  const auto caller = ::getuid() == 0 ? tarnelctl::Caller::root : tarnelctl::Caller::otherUser;
  const auto command =
      tarnelctl::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), caller);
  if (!command) {
    std::cerr << "tarnelctl: " << command.error() << "\n" << tarnelctl::usage;
    return kUsage;
  }
  return run(*command);
}
