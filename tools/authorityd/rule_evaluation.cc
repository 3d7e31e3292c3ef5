#include "tools/authorityd/rule_evaluation.h"

#include <algorithm>

#include "tools/authorityd/administrators.h"
#include "tools/authorityd/creator_process.h"
#include "tools/authorityd/pkcheck.h"

namespace tarnel::authorityd {

namespace {

struct Evaluation {
  std::string_view rightName;
  const linux_platform::AuditToken& creator;
  AuthorizationFlags flags;
  const std::string& pkcheckPath;
};

OSStatus granted(const Evaluation&) { return errAuthorizationSuccess; }

OSStatus refused(const Evaluation&) { return errAuthorizationDenied; }

OSStatus grantedToAdministrators(const Evaluation& evaluation) {
  return isAdministrator(evaluation.creator.realUser) ? errAuthorizationSuccess
                                                      : errAuthorizationDenied;
}

OSStatus askedOfPolkit(const Evaluation& evaluation) {
  // polkit names a process by its id and its full start time, of which the audit token keeps the
  // low half: the two must agree, or the process is not the creator.
  const auto startTime = runningStartTime(evaluation.creator);
  if (!startTime) return errAuthorizationDenied;
  const PolkitSubject subject{.processId = static_cast<pid_t>(evaluation.creator.processId),
                              .startTime = *startTime,
                              .user = evaluation.creator.realUser};
  const Interaction interaction = (evaluation.flags & kAuthorizationFlagInteractionAllowed)
                                      ? Interaction::allowed
                                      : Interaction::notAllowed;
  return askPolkit(evaluation.pkcheckPath, evaluation.rightName, subject, interaction);
}

struct KindEvaluation {
  RuleKind kind;
  OSStatus (*evaluate)(const Evaluation&);
};

constexpr KindEvaluation kEvaluations[] = {
    {RuleKind::allow, granted},
    {RuleKind::deny, refused},
    {RuleKind::admin, grantedToAdministrators},
    {RuleKind::polkit, askedOfPolkit},
};

}  // namespace

OSStatus evaluateRule(const Rule& rule, std::string_view rightName,
                      const linux_platform::AuditToken& creator, AuthorizationFlags flags,
                      const std::string& pkcheckPath) {
  if (!runningStartTime(creator)) return errAuthorizationDenied;
  const auto evaluation = std::ranges::find(kEvaluations, rule.kind, &KindEvaluation::kind);
  if (evaluation == std::end(kEvaluations)) return errAuthorizationDenied;
  return evaluation->evaluate(
      Evaluation{.rightName = rightName, .creator = creator, .flags = flags,
                 .pkcheckPath = pkcheckPath});
}

}  // namespace tarnel::authorityd
