#include "tools/authorityd/rule_evaluation.h"

#include <algorithm>

#include "tools/authorityd/administrators.h"
#include "tools/authorityd/pkcheck.h"

namespace tarnel::authorityd {

namespace {

struct Evaluation {
  std::string_view rightName;
  const Creator& creator;
  AuthorizationFlags flags;
  const std::string& pkcheckPath;
};

OSStatus granted(const Evaluation&) { return errAuthorizationSuccess; }

OSStatus refused(const Evaluation&) { return errAuthorizationDenied; }

OSStatus grantedToAdministrators(const Evaluation& evaluation) {
  return isAdministrator(evaluation.creator.user) ? errAuthorizationSuccess
                                                  : errAuthorizationDenied;
}

OSStatus askedOfPolkit(const Evaluation& evaluation) {
  // polkit names a process by its id and its start time, as the creator was recorded.
  const PolkitSubject subject{.processId = evaluation.creator.process.pid,
                              .startTime = evaluation.creator.process.startTime,
                              .user = evaluation.creator.user};
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

OSStatus evaluateRule(const Rule& rule, std::string_view rightName, const Creator& creator,
                      AuthorizationFlags flags, const std::string& pkcheckPath) {
  if (!stillRuns(creator)) return errAuthorizationDenied;
  const auto evaluation = std::ranges::find(kEvaluations, rule.kind, &KindEvaluation::kind);
  if (evaluation == std::end(kEvaluations)) return errAuthorizationDenied;
  return evaluation->evaluate(Evaluation{
      .rightName = rightName, .creator = creator, .flags = flags, .pkcheckPath = pkcheckPath});
}

}  // namespace tarnel::authorityd
