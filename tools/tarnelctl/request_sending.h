// What tarnelctl sends the helper over an open connection, and the report of what came back.
#pragma once

#include <istream>

#include "platform/linux/transport/service_client.h"
#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/report.h"

namespace tarnel::tarnelctl {

// The request that `command` describes: its string read from the file it names (which must be
// UTF-8 text), and for a privileged request without authData an authorization obtained first and
// kept until the reply has come.
Report sendRequest(const Command& command, linux_platform::ServiceClient& connection);

// A request already encoded, read whole from `in` and sent as it is: the helper judges it.
Report sendEncodedRequest(const Command& command, linux_platform::ServiceClient& connection,
                          std::istream& in);

// The helper's listener endpoint.
Report askForEndpoint(const Command& command, linux_platform::ServiceClient& connection);

}  // namespace tarnel::tarnelctl
