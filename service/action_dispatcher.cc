#include "service/action_dispatcher.h"

#include <optional>
#include <string>

#include "model/decode_action.h"
#include "model/helper_label.h"
#include "model/reply.h"
#include "operations/file_delete.h"
#include "operations/helper_removal.h"
#include "operations/job_file_writer.h"
#include "operations/log_messages.h"
#include "operations/test_run.h"
#include "trust/is_symbolic_link.h"
#include "trust/privileged_validator.h"
#include "trust/shared_signing.h"

namespace tarnel {

namespace {

// What handling a request comes to: the answer, if any, and whether the process ends after it.
struct Outcome {
  enum class Then { keepRunning, endProcess };
  std::optional<Dictionary> answer;
  Then then = Then::keepRunning;
};

Outcome answer(Dictionary reply) { return Outcome{.answer = std::move(reply)}; }
Outcome endProcessSilently() { return Outcome{.then = Outcome::Then::endProcess}; }

Ownership ownershipFor(const Action& action) {
  return action.privileged ? Ownership::rootWheel : Ownership::unchanged;
}

class ActionDispatcher {
 public:
  ActionDispatcher(Platform& platform, ClientRequirement& requirement, CommandRunner& commands)
      : platform_(platform), requirement_(requirement), commands_(commands) {}

  Outcome handle(const Dictionary& request) const;

  Outcome save(const Action& action) const { return writeJob(action, AfterWrite::justSave); }
  Outcome saveLoad(const Action& action) const { return writeJob(action, AfterWrite::load); }
  Outcome deleteJob(const Action& action) const;
  Outcome load(const Action& action) const;
  Outcome remove(const Action& action) const;
  Outcome test(const Action& action) const;
  Outcome uninstall(const Action& action) const;
  Outcome terminate(const Action& action) const;

 private:
  enum class AfterWrite { justSave, load };

  Outcome writeJob(const Action& action, AfterWrite then) const;
  // Unloads the job at `path` when an item exists there, logging a failure; true when it failed.
  bool unloadIfPresent(const std::string& path) const;
  void settle() const { platform_.clock.sleep(kSettlePause); }

  Platform& platform_;
  ClientRequirement& requirement_;
  CommandRunner& commands_;
};

// The eight kinds: the payload each needs (none for the last two) and how it is carried out.
constexpr struct {
  Action::Kind kind;
  bool (*hasPayload)(const Action&);
  Outcome (ActionDispatcher::*carryOut)(const Action&) const;
} kKinds[] = {
    {Action::Kind::save, [](const Action& a) { return a.save.has_value(); },
     &ActionDispatcher::save},
    {Action::Kind::saveLoad, [](const Action& a) { return a.save.has_value(); },
     &ActionDispatcher::saveLoad},
    {Action::Kind::delete_, [](const Action& a) { return a.delete_.has_value(); },
     &ActionDispatcher::deleteJob},
    {Action::Kind::load, [](const Action& a) { return a.load.has_value(); },
     &ActionDispatcher::load},
    {Action::Kind::remove, [](const Action& a) { return a.remove.has_value(); },
     &ActionDispatcher::remove},
    {Action::Kind::test, [](const Action& a) { return a.test.has_value(); },
     &ActionDispatcher::test},
    {Action::Kind::uninstall, nullptr, &ActionDispatcher::uninstall},
    {Action::Kind::terminate, nullptr, &ActionDispatcher::terminate},
};

Outcome ActionDispatcher::handle(const Dictionary& request) const {
  if (!SharedSigning::validateOwnCode(platform_, requirement_)) {
    // The helper's own code failing its check in any way refuses every request.
    return answer(makeCodeErrorReply(ReplyErrorCode::notAuthorized));
  }
  const auto action = decodeAction(request);
  if (!action) return answer(makeCodeErrorReply(ReplyErrorCode::invalidRequest));
  if (action->privileged && !PrivilegedValidator::validateAuthData(platform_, action->authData)) {
    return Outcome{.answer = makeCodeErrorReply(ReplyErrorCode::notAuthorized),
                   .then = Outcome::Then::endProcess};
  }
  for (const auto& row : kKinds) {
    if (row.kind != action->kind) continue;
    if (row.hasPayload != nullptr && !row.hasPayload(*action)) {
      return answer(makeCodeErrorReply(ReplyErrorCode::missingPayload));
    }
    return (this->*row.carryOut)(*action);
  }
  // Decoding yields only the eight kinds above.
  return answer(makeCodeErrorReply(ReplyErrorCode::invalidRequest));
}

bool ActionDispatcher::unloadIfPresent(const std::string& path) const {
  if (!platform_.files.exists(path)) return false;
  const bool failed = !commands_.runLaunchctl(LaunchctlVerb::unload, path);
  if (failed) platform_.log.write(withPath(couldNotUnloadPath, path));
  return failed;
}

Outcome ActionDispatcher::writeJob(const Action& action, AfterWrite then) const {
  const auto& save = *action.save;
  unloadIfPresent(save.path);
  commands_.runLaunchctl(LaunchctlVerb::remove, save.label);
  if (auto written =
          writeJobFile(platform_, save.string, save.path, ownershipFor(action), FinalLink::follow);
      !written) {
    return answer(std::move(written.error()));
  }
  if (then == AfterWrite::load) {
    if (auto loaded = commands_.runLaunchctl(LaunchctlVerb::load, save.path); !loaded) {
      return answer(std::move(loaded.error()));
    }
  }
  settle();
  return answer(successReply());
}

Outcome ActionDispatcher::deleteJob(const Action& action) const {
  const auto& job = *action.delete_;
  if (!job.label.empty()) {
    unloadIfPresent(job.deletePath);
    commands_.runLaunchctl(LaunchctlVerb::remove, job.label);
    settle();
  }
  if (auto deleted = deleteFile(platform_, job.deletePath); !deleted) {
    return answer(std::move(deleted.error()));
  }
  return answer(successReply());
}

Outcome ActionDispatcher::load(const Action& action) const {
  if (auto loaded = commands_.runLaunchctl(LaunchctlVerb::load, action.load->path); !loaded) {
    return answer(std::move(loaded.error()));
  }
  return answer(successReply());
}

Outcome ActionDispatcher::remove(const Action& action) const {
  const auto& job = *action.remove;
  bool failed = unloadIfPresent(job.path);
  if (!job.label.empty() && !commands_.runLaunchctl(LaunchctlVerb::remove, job.label)) {
    failed = true;
  }
  // The runner's own dictionaries are not passed on: one code says that either step failed.
  return answer(failed ? makeCodeErrorReply(ReplyErrorCode::removeFailed) : successReply());
}

Outcome ActionDispatcher::test(const Action& action) const {
  const auto& test = *action.test;
  // Asked before anything is written, and the write never follows a link planted since: the
  // root helper must not write through a link at a path its client chose.
  if (isSymbolicLink(platform_, test.testPath)) {
    return answer(makeCodeErrorReply(ReplyErrorCode::symbolicLink));
  }
  if (auto written = writeJobFile(platform_, test.string, test.testPath, ownershipFor(action),
                                  FinalLink::refuse);
      !written) {
    return answer(std::move(written.error()));
  }
  return answer(outputReply(runTestJob(platform_, commands_, test)));
}

Outcome ActionDispatcher::uninstall(const Action&) const {
  commands_.runLaunchctl(LaunchctlVerb::remove, helperLabel);
  for (const auto directory : {kLaunchDaemonsDirectory, kPrivilegedHelperToolsDirectory}) {
    if (auto cleaned = removeStaleItems(platform_, std::string(directory)); !cleaned) {
      return answer(makeNSErrorReply(cleaned.error()));
    }
  }
  unloadHelperJob(platform_, commands_);
  return endProcessSilently();
}

Outcome ActionDispatcher::terminate(const Action&) const {
  unloadHelperJob(platform_, commands_);
  return endProcessSilently();
}

}  // namespace

void dispatchAction(Platform& platform, ClientRequirement& requirement, CommandRunner& commands,
                    const Dictionary& request, const ActionReply& reply) {
  const auto outcome = ActionDispatcher(platform, requirement, commands).handle(request);
  if (outcome.answer) reply(*outcome.answer);
  if (outcome.then == Outcome::Then::endProcess) platform.processExit.exit(0);
}

}  // namespace tarnel
