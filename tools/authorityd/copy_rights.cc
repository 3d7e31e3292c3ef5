#include "tools/authorityd/copy_rights.h"

#include <string>
#include <vector>

#include "tools/authorityd/rule_evaluation.h"
#include "tools/authorityd/rule_reader.h"
#include "tools/authorityd/server_log.h"

namespace tarnel::authorityd {

namespace {

using Clock = AuthorizationStore::Clock;

constexpr AuthorizationFlags kCopyRightsFlags = kAuthorizationFlagInteractionAllowed |
                                                kAuthorizationFlagExtendRights |
                                                kAuthorizationFlagPartialRights;

struct Grant {
  std::string right;
  Clock::time_point until;
};

std::string subjectText(const Creator& creator) {
  return "process " + std::to_string(creator.process.pid) + " of user " +
         std::to_string(creator.user);
}

// The verdict on one right that the authorization does not hold; a grant to be kept, if any, is
// added to `grants`.
OSStatus extendTo(const CopyRightsContext& context, const AuthorizationExternalForm& form,
                  const Creator& creator, const std::string& right, AuthorizationFlags flags,
                  std::vector<Grant>& grants) {
  const auto rule = readRule(context.settings.rulesFolder, right);
  if (!rule) {
    logLine("refused " + right + " to " + subjectText(creator) + ": " +
            std::string(describe(rule.error())));
    return errAuthorizationDenied;
  }
  OSStatus status = evaluateRule(*rule, right, creator, flags, context.settings.pkcheckPath);
  // The verdict was on the creator as it was when asked; if it or the client that asked has
  // gone meanwhile, nobody is left to be granted anything.
  if (status == errAuthorizationSuccess &&
      (!context.store.creator(form) || !context.requesterPresent())) {
    status = errAuthorizationDenied;
  }
  if (status != errAuthorizationSuccess) {
    logLine("refused " + right + " to " + subjectText(creator) + ": status " +
            std::to_string(status));
    return status;
  }
  logLine("granted " + right + " to " + subjectText(creator));
  if (rule->timeout.count() > 0) grants.push_back({right, Clock::now() + rule->timeout});
  return errAuthorizationSuccess;
}

}  // namespace

OSStatus copyRights(const CopyRightsContext& context, const AuthorizationExternalForm& form,
                    const AuthorizationItemSet& rights, AuthorizationFlags flags) {
  if ((flags & ~kCopyRightsFlags) != 0) return errAuthorizationInvalidFlags;
  const auto creator = context.store.creator(form);
  if (!creator) return errAuthorizationInvalidRef;

  std::vector<Grant> grants;
  OSStatus result = errAuthorizationSuccess;
  for (const AuthorizationItem& item : rights) {
    if (context.store.holds(form, item.name, Clock::now())) continue;
    const OSStatus status = (flags & kAuthorizationFlagExtendRights)
                                ? extendTo(context, form, *creator, item.name, flags, grants)
                                : errAuthorizationDenied;
    if (status == errAuthorizationSuccess) continue;
    if (!(flags & kAuthorizationFlagPartialRights)) return status;
    if (result == errAuthorizationSuccess) result = status;
  }
  for (const Grant& grant : grants) context.store.grant(form, grant.right, grant.until);
  return result;
}

}  // namespace tarnel::authorityd
