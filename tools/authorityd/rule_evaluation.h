// A rule's verdict on a right for the process that created the authorization.
#pragma once

#include <string>
#include <string_view>

#include "platform/authorization.h"
#include "tools/authorityd/creator.h"
#include "tools/authorityd/rule.h"

namespace tarnel::authorityd {

// errAuthorizationSuccess when `rule` grants `rightName` to `creator`, judged by the user it
// connected as; polkit is asked through `pkcheckPath`, with interaction when
// `flags` allow it. Any doubt refuses, and so does a creator that is no longer running.
OSStatus evaluateRule(const Rule& rule, std::string_view rightName, const Creator& creator,
                      AuthorizationFlags flags, const std::string& pkcheckPath);

}  // namespace tarnel::authorityd
