// What tarnelctl is asked to do, read from its command line: a request of one kind with its
// options, a raw request from standard input, the listener endpoint, the helper's install, or
// its help; and the form in which it reports.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "model/action.h"
#include "model/value.h"
#include "tools/tarnelctl/tarnelctl_error.h"

namespace tarnel::tarnelctl {

// One option per request key; a key whose option is not given is left out of the request.
struct RequestOptions {
  std::optional<std::string> path;
  std::optional<std::string> label;
  std::optional<std::string> deletePath;
  std::optional<std::string> testPath;
  std::optional<std::string> testOutputPath;
  std::optional<std::string> stringFile;  // the file whose contents are sent as "string"
  bool presentError = true;
  bool privileged = false;  // obtain a real authorization unless authData is given
  std::optional<Bytes> authData;
};

// How tarnelctl reports: sentences for people; the reply in CBOR diagnostic notation on one line,
// with the exit statuses that scripts and tests have always parsed; or one JSON object.
enum class Format { readable, diagnostic, json };

struct Command {
  enum class Verb { request, send, endpoint, installHelper, help };
  Verb verb = Verb::request;
  Action::Kind kind = Action::Kind::save;  // for Verb::request
  RequestOptions options;
  Format format = Format::readable;
};

// Who runs tarnelctl. The helper serves tarnelctl as the signed editor, so run by any user but
// root it would lend root to that user: it sends only requests that carry an authorization it
// has just obtained (polkit asks for an administrator's approval), and refuses what would pass an
// unauthorized request or expose an authorization to other users. Installing the helper writes
// where only root may.
enum class Caller { root, otherUser };

// The command, or what is wrong with the arguments or what `caller` may not do.
// --format FORMAT and --help are taken before the subcommand or among its options.
std::expected<Command, TarnelctlError> parseCommandLine(const std::vector<std::string>& arguments,
                                                        Caller caller);

// The request dictionary {kind: parameters}; `string` is the "string" value when given and
// `authData` the authorization's external form to send, if any.
Dictionary buildRequest(Action::Kind kind, const RequestOptions& options,
                        const std::optional<std::string>& string,
                        const std::optional<Bytes>& authData);

}  // namespace tarnel::tarnelctl
