#include "tools/launchctl/verbs.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "tools/launchctl/job_file_reader.h"
#include "tools/launchctl/job_registry.h"
#include "tools/launchctl/job_stopper.h"
#include "tools/launchctl/job_supervisor.h"
#include "tools/launchctl/messages.h"
#include "tools/launchctl/state_folder.h"
#include "tools/launchctl/status_description.h"

namespace tarnel::launchctl {

namespace {

int fail(std::string_view reason) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(reason.size()), reason.data());
  return kFailed;
}

int fail(const LaunchctlError& error) { return fail(describe(error)); }

int fail(LaunchctlError::Kind kind, const std::string& label, LaunchctlReason reason) {
  return fail(LaunchctlError{.kind = kind, .subject = label, .reason = std::move(reason)});
}

std::expected<JobRegistry, LaunchctlError> openRegistry(const std::string& stateFolder,
                                                        LockMode mode) {
  if (auto prepared = prepareStateFolder(stateFolder); !prepared) {
    return std::unexpected(prepared.error());
  }
  return JobRegistry::open(stateFolder, mode);
}

// The record leaves the registry before its job is stopped, and the lock goes with the registry:
// the supervisor may need the lock to record a run while it is being stopped, and a job that
// takes itself out may end this launchctl at any moment once its supervisor has been told.
int stopAndForget(const std::string& stateFolder, const std::string& label) {
  JobRecord forgotten;
  {
    auto registry = openRegistry(stateFolder, LockMode::exclusive);
    if (!registry) return fail(registry.error());
    const JobRecord* record = registry->find(label);
    if (record == nullptr) return fail(messages::notLoaded(label));
    forgotten = *record;
    registry->erase(label);
    if (const auto saved = registry->save(); !saved) return fail(saved.error());
  }
  if (const auto stopped = stopLoadedJob(forgotten); !stopped) {
    return fail(LaunchctlError::Kind::cannotStopJob, label, stopped.error());
  }
  return kSucceeded;
}

}  // namespace

int loadJob(const std::string& stateFolder, const std::string& socketFolder,
            const std::string& path) {
  const auto job = readJobFile(path);
  if (!job) return fail(job.error());
  JobRecord record{.label = job->label, .path = path};
  std::optional<LaunchctlError> failure;
  {
    auto registry = openRegistry(stateFolder, LockMode::exclusive);
    if (!registry) return fail(registry.error());
    if (registry->find(job->label) != nullptr) return fail(messages::alreadyLoaded(job->label));

    // A job that cannot be started stays loaded, as launchd keeps it: the failure is its last
    // exit status, and the reason is in the system log.
    if (job->runAtLoad || !job->machServices.empty()) {
      const auto report = startSupervisor(*job, stateFolder, socketFolder);
      if (!report) return fail(LaunchctlError::Kind::cannotStartJob, job->label, report.error());
      record.supervisor = report->supervisor;
      record.process = report->run;
      if (report->startFailed) record.lastExitStatus = kCouldNotStartStatus;
    }
    registry->add(record);
    const auto saved = registry->save();
    if (saved) return kSucceeded;
    failure = saved.error();
  }
  // Unregistered, the job could never be stopped through launchctl: it must not run on.
  (void)stopLoadedJob(record);
  return fail(*failure);
}

int unloadJob(const std::string& stateFolder, const std::string& path) {
  const auto job = readJobFile(path);
  if (!job) return fail(job.error());
  return stopAndForget(stateFolder, job->label);
}

int removeJob(const std::string& stateFolder, const std::string& label) {
  return stopAndForget(stateFolder, label);
}

int listJobs(const std::string& stateFolder) {
  const auto registry = openRegistry(stateFolder, LockMode::shared);
  if (!registry) return fail(registry.error());
  std::string text = "PID\tStatus\tLabel\n";
  for (const auto& record : registry->records()) {
    const bool running = record.process && isPresent(*record.process);
    text += running ? std::to_string(record.process->pid) : std::string("-");
    text += '\t' + std::to_string(record.lastExitStatus) + '\t' + record.label + '\n';
  }
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? kSucceeded : kFailed;
}

int describeError(const std::string& text) {
  const auto description = describeStatusCode(text);
  if (!description) return fail(messages::notAStatusCode(text));
  std::printf("%s\n", description->c_str());
  return std::fflush(stdout) == 0 ? kSucceeded : kFailed;
}

}  // namespace tarnel::launchctl
