// What tarnelctl prints and the status it exits with, in the form the command asked for: for
// people a sentence (what was done, the test report as it is, an error's description and what to
// check); for scripts the reply in CBOR diagnostic notation with the exit statuses they have
// always parsed; or one JSON object. Made here from what happened, printed by main.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/transport/service_client.h"
#include "platform/os_status.h"
#include "platform/transport.h"
#include "tools/tarnelctl/authorization_status.h"
#include "tools/tarnelctl/command_line.h"

namespace tarnel::tarnelctl {

enum ExitStatus {
  kDone = 0,
  kFailedHere = 1,
  kUsage = 2,
  kEndedWithoutReply = 3,
  kRefused = 4,
  kAnsweredWithError = 5,  // not with Format::diagnostic, where any reply exits kDone
};

struct Report {
  std::string out;  // for standard output
  std::string err;  // for standard error
  int status = kDone;
};

// Something that went wrong before or without a reply: `what` as it has always been printed, and
// for people what it means and what to check; an authorization's status when one came back.
struct Failure {
  std::string what;
  int status = kFailedHere;
  std::optional<StatusExplanation> explanation;
  std::optional<OSStatus> authorizationStatus;
};

using CallResult = std::expected<std::vector<ReplyArgument>, linux_platform::CallFailure>;

Report reportReply(const Command& command, const CallResult& reply);
Report reportFailure(Format format, const Failure& failure);
// Something done here that is not a call, such as the helper's install: `sentence` for people,
// `facts` (a dictionary with text keys) for scripts, as JSON or in diagnostic notation.
Report reportDone(Format format, const std::string& sentence, const Dictionary& facts);

}  // namespace tarnel::tarnelctl
