#include "tools/tarnelctl/request_sending.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/remote_protocols.h"
#include "platform/linux/authorization/client.h"
#include "platform/linux/wire/frame_io.h"
#include "text/utf8.h"
#include "tools/tarnelctl/privileged_authorization.h"

namespace tarnel::tarnelctl {

namespace {

using linux_platform::AuthorizationClient;
using linux_platform::kMaximumFrameLength;
using linux_platform::ServiceClient;

// The method of the helper's protocol that `selector` names. tarnelctl names only the two that
// the protocol declares (model/remote_protocols.cc), so a lookup that finds none is a programming
// error, which every test that sends a request would meet.
const RemoteMethod& method(std::string_view selector) {
  for (const auto& candidate : remoteActionType().methods) {
    if (candidate.selector == selector) return candidate;
  }
  std::abort();
}

// The whole of `in`, or nothing when it cannot be read or is longer than any frame may be.
std::optional<std::string> readWhole(std::istream& in) {
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad() || bytes.size() > kMaximumFrameLength) return std::nullopt;
  return bytes;
}

}  // namespace

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

Report sendEncodedRequest(const Command& command, ServiceClient& connection, std::istream& in) {
  const auto request = readWhole(in);
  if (!request) {
    return reportFailure(command.format, {.what = "standard input could not be read whole"});
  }
  return reportReply(
      command, connection.callWithEncodedArguments(method("runActionWith:reply:"),
                                                   {Bytes(request->begin(), request->end())}));
}

Report askForEndpoint(const Command& command, ServiceClient& connection) {
  return reportReply(command, connection.call(method("listenerEndpointWithReply:"), {}));
}

}  // namespace tarnel::tarnelctl
