#include "tools/tarnelctl/command_run.h"

#include <iostream>

#include "model/helper_label.h"
#include "platform/linux/transport/service_client.h"
#include "tools/tarnelctl/help_text.h"
#include "tools/tarnelctl/helper_install.h"
#include "tools/tarnelctl/request_sending.h"

namespace tarnel::tarnelctl {

Report runCommand(const Command& command) {
  switch (command.verb) {
    case Command::Verb::help:
      return Report{.out = helpText()};
    case Command::Verb::installHelper:
      return installHelper(command.format);
    default:
      break;
  }
  auto connection = linux_platform::ServiceClient::connectToService(helperLabel);
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
      return askForEndpoint(command, *connection);
    case Command::Verb::send:
      return sendEncodedRequest(command, *connection, std::cin);
    default:
      return sendRequest(command, *connection);
  }
}

}  // namespace tarnel::tarnelctl
