#include "service/action_dispatcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/action.h"
#include "model/reply.h"
#include "service/controller.h"
#include "tests/support/fake_platform.h"

namespace tarnel {
namespace {

using support::FakePlatform;
using Lines = std::vector<std::string>;

constexpr const char* kJob = "/Library/LaunchDaemons/job.plist";
constexpr const char* kHelperJob = "/Library/LaunchDaemons/com.quorvant.TarnelX8Helper";

// How an answer reads in the journal.
std::string describe(const Dictionary& reply) {
  if (reply.size() != 1) return "answer of " + std::to_string(reply.size()) + " entries";
  const auto& [key, value] = reply.entries().front();
  if (key == Value(2) && value == Value("")) return "answer success";
  if (key == Value(1) && value.is<std::string>())
    return "answer output " + *value.get<std::string>();
  const auto* error = value.get<Dictionary>();
  if (key != Value(0) || error == nullptr) return "answer unexpected";
  const auto* domain = error->find("domain")->get<std::string>();
  const auto code = std::to_string(*error->find("code")->get<std::int64_t>());
  if (*domain == errorDomain && error->size() == 2) return "answer error " + code;
  return "answer error " + *domain + " " + code;
}

// What a request did: programs, files, pauses, log lines, answers and the exit, without the
// signature and authorization checks.
Lines effectsIn(const support::Journal& journal) {
  return journal.entriesExcept({support::Source::codeSigning, support::Source::authorization});
}

PlatformError noPermission(const std::string& path) {
  return PlatformError{.domain = cocoaErrorDomain,
                       .code = static_cast<std::int64_t>(CocoaFileError::writeNoPermission),
                       .description = "Permission denied: " + path};
}

Dictionary request(Action::Kind kind, Dictionary parameters) {
  return Dictionary{{rawValue(kind), std::move(parameters)}};
}

// The two flags every request carries, then `more`.
Dictionary parameters(bool privileged, std::initializer_list<DictionaryEntry> more = {}) {
  Dictionary result{{"privileged", privileged}, {"presentError", true}};
  if (privileged) result.append("authData", Bytes(32, 0xab));
  for (const auto& entry : more) result.append(entry.key, entry.value);
  return result;
}

class ActionDispatcherTest : public ::testing::Test {
 protected:
  // Runs one request; each answer is journalled where it happened.
  void run(const Dictionary& request) {
    controller.runActionWith(request, [this](Dictionary reply) {
      fake.journal.record(support::Source::reply, describe(reply));
      ++answers;
    });
  }

  Lines effects() const { return effectsIn(fake.journal); }

  bool authorizationAsked() const {
    return !fake.journal.entriesFrom({support::Source::authorization}).empty();
  }

  FakePlatform fake;
  Platform platform = fake.platform();
  ClientRequirement requirement;
  Controller controller{platform, requirement};
  int answers = 0;
};

struct Case {
  const char* name;
  std::function<void(FakePlatform&)> arrange;
  Dictionary request;
  Lines expected;
};

void noArrangement(FakePlatform&) {}

TEST_F(ActionDispatcherTest, EachKindCarriesOutItsStepsAndAnswersOnce) {
  const Dictionary save =
      parameters(false, {{"path", kJob}, {"string", "<plist/>"}, {"label", "job"}});
  const Dictionary privilegedSave =
      parameters(true, {{"path", kJob}, {"string", "<plist/>"}, {"label", "job"}});
  const Case cases[] = {
      {"save where no file is",
       noArrangement,
       request(Action::Kind::save, save),
       {"exists " + std::string(kJob), "run /bin/launchctl remove job",
        "write " + std::string(kJob), "sleep 0.1", "answer success"}},
      {"save over a file whose unload fails",
       [](FakePlatform& f) {
         f.files.addFile(kJob);
         f.processes.scriptRun({"/bin/launchctl", "unload", "-w", kJob}, 1);
       },
       request(Action::Kind::save, save),
       {"exists " + std::string(kJob), "run /bin/launchctl unload -w " + std::string(kJob),
        "log Tarnel X: Could not unload path: " + std::string(kJob),
        "run /bin/launchctl remove job", "write " + std::string(kJob), "sleep 0.1",
        "answer success"}},
      {"privileged save owned by root:wheel",
       noArrangement,
       request(Action::Kind::save, privilegedSave),
       {"exists " + std::string(kJob), "run /bin/launchctl remove job",
        "write " + std::string(kJob), "setOwner " + std::string(kJob) + " root:wheel", "sleep 0.1",
        "answer success"}},
      {"save with an empty label still removes it",
       noArrangement,
       request(Action::Kind::save,
               parameters(false, {{"path", kJob}, {"string", ""}, {"label", ""}})),
       {"exists " + std::string(kJob), "run /bin/launchctl remove ", "write " + std::string(kJob),
        "sleep 0.1", "answer success"}},
      {"save whose write fails",
       [](FakePlatform& f) { f.files.failNext("write", kJob, noPermission(kJob)); },
       request(Action::Kind::save, save),
       {"exists " + std::string(kJob), "run /bin/launchctl remove job",
        "write " + std::string(kJob), "log Tarnel X: Could not write to file: " + std::string(kJob),
        "answer error NSCocoaErrorDomain 513"}},
      {"saveLoad",
       noArrangement,
       request(Action::Kind::saveLoad, save),
       {"exists " + std::string(kJob), "run /bin/launchctl remove job",
        "write " + std::string(kJob), "run /bin/launchctl load -w " + std::string(kJob),
        "sleep 0.1", "answer success"}},
      {"saveLoad whose load fails takes no pause",
       [](FakePlatform& f) { f.processes.scriptRun({"/bin/launchctl", "load", "-w", kJob}, 1); },
       request(Action::Kind::saveLoad, save),
       {"exists " + std::string(kJob), "run /bin/launchctl remove job",
        "write " + std::string(kJob), "run /bin/launchctl load -w " + std::string(kJob),
        "answer error 6"}},
      {"delete of a loaded job",
       [](FakePlatform& f) { f.files.addFile(kJob); },
       request(Action::Kind::delete_,
               parameters(false, {{"deletePath", kJob}, {"label", "job"}})),
       {"exists " + std::string(kJob), "run /bin/launchctl unload -w " + std::string(kJob),
        "run /bin/launchctl remove job", "sleep 0.1", "remove " + std::string(kJob),
        "answer success"}},
      {"delete with an empty label only deletes",
       [](FakePlatform& f) { f.files.addFile(kJob); },
       request(Action::Kind::delete_, parameters(false, {{"deletePath", kJob}, {"label", ""}})),
       {"remove " + std::string(kJob), "answer success"}},
      {"delete whose unload and deletion fail",
       [](FakePlatform& f) {
         f.files.addFile(kJob);
         f.processes.scriptRun({"/bin/launchctl", "unload", "-w", kJob}, 3);
         f.files.failNext("remove", kJob, noPermission(kJob));
       },
       request(Action::Kind::delete_,
               parameters(false, {{"deletePath", kJob}, {"label", "job"}})),
       {"exists " + std::string(kJob), "run /bin/launchctl unload -w " + std::string(kJob),
        "log Tarnel X: Could not unload path: " + std::string(kJob),
        "run /bin/launchctl remove job", "sleep 0.1", "remove " + std::string(kJob),
        "log Tarnel X: Could not delete file: " + std::string(kJob),
        "answer error NSCocoaErrorDomain 513"}},
      {"load never looks for the file",
       noArrangement,
       request(Action::Kind::load, parameters(false, {{"path", kJob}})),
       {"run /bin/launchctl load -w " + std::string(kJob), "answer success"}},
      {"load that fails",
       [](FakePlatform& f) { f.processes.scriptRun({"/bin/launchctl", "load", "-w", kJob}, 1); },
       request(Action::Kind::load, parameters(false, {{"path", kJob}})),
       {"run /bin/launchctl load -w " + std::string(kJob), "answer error 6"}},
      {"remove with nothing to do",
       noArrangement,
       request(Action::Kind::remove, parameters(false, {{"path", kJob}, {"label", ""}})),
       {"exists " + std::string(kJob), "answer success"}},
      {"remove of a loaded job",
       [](FakePlatform& f) { f.files.addFile(kJob); },
       request(Action::Kind::remove, parameters(false, {{"path", kJob}, {"label", "job"}})),
       {"exists " + std::string(kJob), "run /bin/launchctl unload -w " + std::string(kJob),
        "run /bin/launchctl remove job", "answer success"}},
      {"remove whose unload fails still removes the label",
       [](FakePlatform& f) {
         f.files.addFile(kJob);
         f.processes.scriptRun({"/bin/launchctl", "unload", "-w", kJob}, 1);
       },
       request(Action::Kind::remove, parameters(false, {{"path", kJob}, {"label", "job"}})),
       {"exists " + std::string(kJob), "run /bin/launchctl unload -w " + std::string(kJob),
        "log Tarnel X: Could not unload path: " + std::string(kJob),
        "run /bin/launchctl remove job", "answer error 5"}},
      {"remove whose label removal fails",
       [](FakePlatform& f) { f.processes.scriptRun({"/bin/launchctl", "remove", "job"}, 113); },
       request(Action::Kind::remove, parameters(false, {{"path", kJob}, {"label", "job"}})),
       {"exists " + std::string(kJob), "run /bin/launchctl remove job", "answer error 5"}},
      {"test at a symbolic link writes nothing",
       [](FakePlatform& f) { f.files.addLink("/tmp/t.plist", "/etc/sudoers"); },
       request(Action::Kind::test, parameters(false, {{"testPath", "/tmp/t.plist"},
                                                      {"testOutputPath", "/tmp/t.out"},
                                                      {"string", "<plist/>"},
                                                      {"label", "t"}})),
       {"type /tmp/t.plist", "answer error 8"}},
      {"test whose write fails",
       [](FakePlatform& f) { f.files.failNext("write", "/tmp/t.plist", noPermission("/tmp/t.plist")); },
       request(Action::Kind::test, parameters(false, {{"testPath", "/tmp/t.plist"},
                                                      {"testOutputPath", "/tmp/t.out"},
                                                      {"string", "<plist/>"},
                                                      {"label", "t"}})),
       {"type /tmp/t.plist", "write (no link) /tmp/t.plist",
        "log Tarnel X: Could not write to file: /tmp/t.plist",
        "answer error NSCocoaErrorDomain 513"}},
      {"uninstall",
       [](FakePlatform& f) {
         f.files.addFolder("/Library/LaunchDaemons/");
         f.files.addFile("/Library/LaunchDaemons/com.quorvant.a.plist");
         f.files.addFile("/Library/LaunchDaemons/other.plist");
         f.files.addFolder("/Library/PrivilegedHelperTools/");
       },
       request(Action::Kind::uninstall, parameters(false)),
       {"run /bin/launchctl remove com.quorvant.TarnelX8Helper", "list /Library/LaunchDaemons/",
        "remove /Library/LaunchDaemons/com.quorvant.a.plist",
        "list /Library/PrivilegedHelperTools/", "exists " + std::string(kHelperJob),
        "run /bin/launchctl remove com.quorvant.TarnelX8Helper", "exit 0"}},
      {"uninstall whose first clean-up fails keeps running",
       [](FakePlatform& f) {
         f.files.addFolder("/Library/LaunchDaemons/");
         f.files.addFile("/Library/LaunchDaemons/com.quorvant.a.plist");
         f.files.failNext("remove", "/Library/LaunchDaemons/com.quorvant.a.plist",
                          noPermission("/Library/LaunchDaemons/com.quorvant.a.plist"));
       },
       request(Action::Kind::uninstall, parameters(false)),
       {"run /bin/launchctl remove com.quorvant.TarnelX8Helper", "list /Library/LaunchDaemons/",
        "remove /Library/LaunchDaemons/com.quorvant.a.plist",
        "answer error NSCocoaErrorDomain 513"}},
      {"terminate",
       [](FakePlatform& f) { f.files.addFile(kHelperJob); },
       request(Action::Kind::terminate, parameters(false)),
       {"exists " + std::string(kHelperJob), "run /bin/launchctl unload -w " + std::string(kHelperJob),
        "run /bin/launchctl remove com.quorvant.TarnelX8Helper", "exit 0"}},
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    c.arrange(fresh);
    Platform freshPlatform = fresh.platform();
    ClientRequirement freshRequirement;
    Controller freshController(freshPlatform, freshRequirement);
    int count = 0;
    freshController.runActionWith(c.request, [&](Dictionary reply) {
      fresh.journal.record(support::Source::reply, describe(reply));
      ++count;
    });
    EXPECT_EQ(effectsIn(fresh.journal), c.expected) << c.name;
    EXPECT_LE(count, 1) << c.name;
  }
}

TEST_F(ActionDispatcherTest, TestAsksAboutTheLinkBeforeWritingWithoutFollowingOne) {
  run(request(Action::Kind::test, parameters(true, {{"testPath", "/tmp/t.plist"},
                                                    {"testOutputPath", "/tmp/t.out"},
                                                    {"string", "<plist/>"},
                                                    {"label", "t"}})));
  const auto lines = effects();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "type /tmp/t.plist");
  EXPECT_EQ(lines[1], "write (no link) /tmp/t.plist");
  EXPECT_EQ(lines[2], "setOwner /tmp/t.plist root:wheel");
  // Then the test run itself, which loads the job it was given.
  EXPECT_EQ(lines[3], "capture /bin/launchctl load -w /tmp/t.plist");
  EXPECT_EQ(lines.back(), "answer output ");
  EXPECT_EQ(answers, 1);
}

TEST_F(ActionDispatcherTest, ARequestThatDoesNotDecodeOnlyGetsItsAnswer) {
  const Dictionary requests[] = {
      Dictionary{},
      Dictionary{{8, parameters(false)}},
      Dictionary{{-1, parameters(false)}},
      Dictionary{{"3", parameters(false, {{"path", kJob}})}},
      Dictionary{{2.5, parameters(false)}},
      Dictionary{{3, "not a dictionary"}},
      Dictionary{{7, Dictionary{{"presentError", true}}}},
      Dictionary{{7, Dictionary{{"privileged", "true"}, {"presentError", true}}}},
      // Privileged, but never asked about: it does not decode.
      Dictionary{{6, Dictionary{{"privileged", true}, {"authData", Bytes(32, 1)}}}},
  };
  for (const auto& bad : requests) {
    fake.journal.clear();
    run(bad);
    EXPECT_EQ(effects(), Lines{"answer error 1"});
    EXPECT_FALSE(authorizationAsked());
  }
}

TEST_F(ActionDispatcherTest, ASelfCheckThatFailsRefusesBeforeDecoding) {
  fake.codeSigning.selfValidityStatus = -67050;
  run(request(Action::Kind::terminate, parameters(true)));
  EXPECT_EQ(effects(), Lines{"answer error 2"});
  EXPECT_FALSE(authorizationAsked());
  EXPECT_FALSE(fake.processExit.status().has_value());
}

TEST_F(ActionDispatcherTest, APrivilegedRequestWithoutAuthorizationIsAnsweredThenTheProcessEnds) {
  Dictionary withoutData{{"privileged", true}, {"presentError", true}, {"path", kJob}};
  run(request(Action::Kind::load, withoutData));
  EXPECT_EQ(effects(), (Lines{"answer error 2", "exit 0"}));

  fake.journal.clear();
  fake.authorization.copyRightsStatus = -60005;
  run(request(Action::Kind::save, Dictionary{}));  // does not decode: no authorization asked
  run(request(Action::Kind::load, parameters(true, {{"path", kJob}})));
  EXPECT_TRUE(authorizationAsked());
  EXPECT_EQ(effects(), (Lines{"answer error 1", "answer error 2", "exit 0"}));
}

TEST_F(ActionDispatcherTest, OnlyPrivilegedRequestsAreAskedForAuthorization) {
  for (std::int64_t raw = 0; raw <= 7; ++raw) {
    const auto kind = *kindFromRawValue(raw);
    for (const bool privileged : {false, true}) {
      FakePlatform fresh;
      Platform freshPlatform = fresh.platform();
      ClientRequirement freshRequirement;
      Controller freshController(freshPlatform, freshRequirement);
      freshController.runActionWith(request(kind, parameters(privileged)), [](Dictionary) {});
      const bool asked = !fresh.journal.entriesFrom({support::Source::authorization}).empty();
      EXPECT_EQ(asked, privileged) << "kind " << raw;
    }
  }
}

TEST_F(ActionDispatcherTest, AKindWithoutItsPayloadIsAnsweredMissingPayload) {
  for (std::int64_t raw = 0; raw <= 5; ++raw) {
    fake.journal.clear();
    // The two flags alone: no kind's payload is there.
    run(request(*kindFromRawValue(raw), parameters(false)));
    EXPECT_EQ(effects(), Lines{"answer error 4"}) << "kind " << raw;
  }
}

}  // namespace
}  // namespace tarnel
