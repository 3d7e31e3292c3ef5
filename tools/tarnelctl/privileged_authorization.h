// The authorization that a privileged request carries: created here and its right obtained in
// advance, as the editor does before it asks its helper for anything privileged.
#pragma once

#include <expected>
#include <string>

#include "platform/linux/authorization/client.h"
#include "platform/os_status.h"
#include "tools/tarnelctl/authorization_status.h"
#include "tools/tarnelctl/report.h"

namespace tarnel::tarnelctl {

// An authorization status that came back at `step`, with what it means here and now.
Failure authorizationFailure(const std::string& what, OSStatus status, AuthorizationStep step);

// A new authorization that holds the helper's right. The caller keeps it alive until the reply
// has come, so that the helper finds its creator running.
std::expected<linux_platform::AuthorizationClient, Failure> authorize();

}  // namespace tarnel::tarnelctl
