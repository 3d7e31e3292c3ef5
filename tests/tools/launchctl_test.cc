// launchctl as the helper runs it: the built program, in real processes, with a temporary state
// folder and temporary job files.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "operations/status_pipeline.h"
#include "platform/linux/posix/unix_socket.h"
#include "tests/support/child_processes.h"
#include "tests/support/run_program.h"
#include "tests/support/temporary_folder.h"
#include "tools/launchctl/job_supervisor.h"

namespace tarnel {
namespace {

using Outcome = support::ProgramRun;  // its output: standard output and error joined, as the
                                      // helper reads them
using Started = support::StartedProgram;

std::string escapeXml(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '<') {
      escaped += "&lt;";
    } else if (c == '>') {
      escaped += "&gt;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// A job property list with `label`, running `arguments`, and `extraKeys` as they stand.
std::string jobPlist(const std::string& label, const std::vector<std::string>& arguments,
                     const std::string& extraKeys = "") {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
      "<key>Label</key><string>" +
      escapeXml(label) + "</string>\n<key>ProgramArguments</key><array>";
  for (const auto& argument : arguments) text += "<string>" + escapeXml(argument) + "</string>";
  return text + "</array>\n" + extraKeys + "</dict></plist>\n";
}

// A binary property list of `levels` arrays, each referring twice to the next and the last to a
// one-letter string: a few hundred bytes that name 2^levels strings once every reference is read.
std::string doublingReferences(int levels) {
  std::string document = "bplist00";
  std::vector<std::size_t> offsets;
  const auto bigEndian = [&](std::uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
      document += static_cast<char>((value >> shift) & 0xff);
    }
  };
  for (int level = 0; level < levels; ++level) {
    offsets.push_back(document.size());
    document += '\xa2';  // an array of two
    bigEndian(level + 1, 2);
    bigEndian(level + 1, 2);
  }
  offsets.push_back(document.size());
  document +=
      "\x51"
      "a";
  const std::size_t table = document.size();
  for (const auto offset : offsets) bigEndian(offset, 4);
  document += std::string(6, '\0');
  document += '\x04';  // offset size
  document += '\x02';  // reference size
  bigEndian(offsets.size(), 8);
  bigEndian(0, 8);
  bigEndian(table, 8);
  return document;
}

class LaunchctlTest : public ::testing::Test {
 protected:
  using Streams = support::RunOptions::Streams;
  void TearDown() override {
    // Every job a test started is stopped: remove ends its run before forgetting it.
    for (const auto& label : loadedLabels()) run({"remove", label});
  }

  Started start(const std::vector<std::string>& arguments,
                const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<std::string> environment{"LAUNCHCTL_STATE_DIR=" + state_,
                                         "LAUNCHCTL_SOCKET_DIR=" + sockets_};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (!std::string_view(*entry).starts_with("LAUNCHCTL_")) environment.push_back(*entry);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<std::string> argv{LAUNCHCTL_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return Started(argv, {.environment = environment, .streams = Streams::joined});
  }

  Outcome run(const std::vector<std::string>& arguments,
              const std::vector<std::string>& extraEnvironment = {}) {
    return start(arguments, extraEnvironment).finish();
  }

  std::string writeJob(const std::string& name, const std::string& contents, mode_t mode = 0644) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path) << contents;
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    return path;
  }

  // A job file LABEL.plist whose job runs `script` with /bin/sh at load, its output into `output`.
  std::string writeRunAtLoadScript(const std::string& label, const std::string& script,
                                   const std::string& output) {
    return writeJob(label + ".plist",
                    jobPlist(label, {"/bin/sh", "-c", script},
                             "<key>RunAtLoad</key><true/><key>StandardOutPath</key><string>" +
                                 output + "</string>"));
  }

  std::string list() {
    const auto outcome = run({"list"});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    return outcome.output;
  }

  // The list line of `label` split into its fields; nothing when it is not listed.
  std::optional<std::vector<std::string>> listed(const std::string& label) {
    std::istringstream lines(list());
    std::string line;
    while (std::getline(lines, line)) {
      std::vector<std::string> fields;
      std::istringstream words(line);
      for (std::string field; std::getline(words, field, '\t');) fields.push_back(field);
      if (fields.size() == 3 && fields[2] == label) return fields;
    }
    return std::nullopt;
  }

  std::vector<std::string> loadedLabels() {
    std::vector<std::string> labels;
    std::istringstream lines(run({"list"}).output);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) labels.push_back(line.substr(line.rfind('\t') + 1));
    return labels;
  }

  pid_t runningPid(const std::string& label) {
    const auto fields = listed(label);
    if (!fields || (*fields)[0] == "-") return -1;
    return std::stoi((*fields)[0]);
  }

  // The job's recorded last exit status once its run has ended. Waiting is bounded only so that
  // a job that never ends fails the test instead of hanging it.
  std::string statusAfterRun(const std::string& label) {
    std::string status = "still running";
    support::eventually([&] {
      const auto fields = listed(label);
      if (fields && (*fields)[0] != "-") return false;
      status = fields ? (*fields)[1] : "not listed";
      return true;
    });
    return status;
  }

  // What the helper's job-status pipeline prints for `label`.
  std::string statusPipeline(const std::string& label) {
    return support::runProgram(
               {"/bin/sh", "-c", statusPipelineText(LAUNCHCTL_PROGRAM, label)},
               {.environment = std::vector<std::string>{"LAUNCHCTL_STATE_DIR=" + state_},
                .streams = Streams::outputOnly})
        .output;
  }

  // One line from the service `name` of the socket folder: what the job that a connection there
  // starts answers, or "refused: REASON" when nothing listens.
  std::string askService(const std::string& name) {
    auto connection = linux_platform::connectTo(sockets_ + "/" + name);
    if (!connection) return "refused: " + connection.error().description;
    return readLine(connection->get());
  }

  static std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  support::TemporaryFolder temporary_;
  std::string folder_ = temporary_.root();
  std::string state_ = folder_ + "/state";
  std::string sockets_ = temporary_.folder("sockets");
};

TEST_F(LaunchctlTest, LoadsListsUnloadsAndRemovesJobs) {
  const auto b = writeJob("b.plist", jobPlist("com.example.b", {"/bin/true"}));
  const auto a = writeJob("a.plist", jobPlist("com.example.a", {"/bin/true"}));

  for (const auto& path : {b, a}) {
    const auto loaded = run({"load", "-w", path});
    EXPECT_EQ(loaded.status, 0);
    EXPECT_EQ(loaded.output, "");
  }
  // A job that has not run yet reads as a clean exit: the helper takes "0" for one, and nothing
  // went wrong.
  EXPECT_EQ(list(), "PID\tStatus\tLabel\n-\t0\tcom.example.a\n-\t0\tcom.example.b\n");

  const auto unloaded = run({"unload", "-w", b});
  EXPECT_EQ(unloaded.status, 0);
  EXPECT_EQ(unloaded.output, "");
  const auto removed = run({"remove", "com.example.a"});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.output, "");
  EXPECT_EQ(list(), "PID\tStatus\tLabel\n");

  EXPECT_EQ(run({"load", a}).status, 0) << "without -w as well";
  EXPECT_EQ(list(), "PID\tStatus\tLabel\n-\t0\tcom.example.a\n");
}

TEST_F(LaunchctlTest, RecordsHowARunAtLoadJobEnded) {
  const struct {
    const char* label;
    const char* script;
    const char* status;
  } cases[] = {
      {"com.example.clean", "echo ran; exit 0", "0"},
      {"com.example.config", "echo ran; exit 78", "78"},
      {"com.example.term", "echo ran; kill -TERM $$", "-15"},
      {"com.example.kill", "echo ran; kill -KILL $$", "-9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string output = folder_ + "/" + c.label + ".out";
    const auto path = writeRunAtLoadScript(c.label, c.script, output);
    const auto loaded = run({"load", "-w", path});
    EXPECT_EQ(loaded.status, 0);
    EXPECT_EQ(loaded.output, "");
    EXPECT_EQ(statusAfterRun(c.label), c.status);
    EXPECT_EQ(support::contentsOf(output), "ran\n");
    EXPECT_EQ(statusPipeline(c.label), std::string(c.status) + "\n");
  }
}

TEST_F(LaunchctlTest, TheJobOutlivesLaunchctlAndRecordsTheSignalThatEndsIt) {
  const auto path = writeJob("sleeper.plist", jobPlist("com.example.sleeper", {"sleep", "1000"},
                                                       "<key>RunAtLoad</key><true/>"));
  // run() reads launchctl's output to its end: had the job or its supervisor kept that pipe,
  // this would not return while the job runs.
  const auto loaded = run({"load", "-w", path});
  ASSERT_EQ(loaded.status, 0) << loaded.output;
  EXPECT_EQ(loaded.output, "");

  const pid_t pid = runningPid("com.example.sleeper");
  ASSERT_GT(pid, 0);
  EXPECT_FALSE(support::processEnded(pid));
  EXPECT_NE(::getsid(pid), ::getsid(0)) << "the job runs in a session of its own";
  EXPECT_EQ(listed("com.example.sleeper")->at(1), "0");

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(statusAfterRun("com.example.sleeper"), "-15");
  EXPECT_EQ(statusPipeline("com.example.sleeper"), "-15\n");
}

TEST_F(LaunchctlTest, UnloadAndRemoveStopTheWholeJob) {
  const struct {
    const char* label;
    const char* script;  // prints the process id of a child that must end with the job
    const char* verb;
  } cases[] = {
      {"com.example.polite", "sleep 1000 & echo $!; wait", "unload"},
      {"com.example.stubborn", "trap '' TERM; sleep 1000 & echo $!; wait", "remove"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string output = folder_ + "/" + c.label + ".out";
    const auto path = writeRunAtLoadScript(c.label, c.script, output);
    ASSERT_EQ(run({"load", "-w", path}).status, 0);
    const pid_t job = runningPid(c.label);
    ASSERT_GT(job, 0);
    std::string childText;
    ASSERT_TRUE(
        support::eventually([&] { return !(childText = support::contentsOf(output)).empty(); }));
    const pid_t child = std::stoi(childText);
    ASSERT_FALSE(support::processEnded(child));

    const auto stopped =
        std::string(c.verb) == "unload" ? run({"unload", "-w", path}) : run({"remove", c.label});
    EXPECT_EQ(stopped.status, 0);
    EXPECT_EQ(stopped.output, "");
    EXPECT_TRUE(support::processEnded(job));
    // The child is signalled with its group; a child that ignores SIGTERM may still be on its way
    // out of SIGKILL, which cannot fail.
    EXPECT_TRUE(support::eventually([&] { return support::processEnded(child); }));
    EXPECT_FALSE(listed(c.label).has_value());
  }
}

TEST_F(LaunchctlTest, RunsTheJobAsItsFileSaysAndGivesItNothingElse) {
  // A descriptor launchctl inherits without close-on-exec, and a variable of its environment:
  // neither may reach the job.
  const int inherited = ::dup(STDERR_FILENO);
  ASSERT_GE(inherited, 0);
  const std::string output = folder_ + "/env.out";
  const std::string errors = folder_ + "/env.err";
  std::ofstream(output) << "earlier\n";
  const auto path = writeJob(
      "env.plist",
      jobPlist(
          "com.example.env",
          {"sh", "-c", "pwd; echo \"$GREETING ${LEAKED-unset}\"; ls /proc/$$/fd; echo oops >&2"},
          "<key>RunAtLoad</key><true/>"
          "<key>WorkingDirectory</key><string>" +
              folder_ +
              "</string>"
              "<key>StandardOutPath</key><string>" +
              output +
              "</string>"
              "<key>StandardErrorPath</key><string>" +
              errors +
              "</string>"
              "<key>EnvironmentVariables</key><dict><key>GREETING</key><string>hello</string>"
              "</dict>"));
  const auto loaded = run({"load", "-w", path}, {"LEAKED=yes"});
  ::close(inherited);
  ASSERT_EQ(loaded.status, 0) << loaded.output;
  EXPECT_EQ(statusAfterRun("com.example.env"), "0");

  EXPECT_EQ(support::contentsOf(output), "earlier\n" + folder_ + "\nhello unset\n0\n1\n2\n");
  EXPECT_EQ(support::contentsOf(errors), "oops\n");
  struct stat status {};
  ASSERT_EQ(::stat(errors.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
}

TEST_F(LaunchctlTest, RefusesJobFilesItCannotVouchForAndRunsNothing) {
  const std::string marker = folder_ + "/ran";
  const std::vector<std::string> touch{"/usr/bin/touch", marker};
  const std::string runAtLoad = "<key>RunAtLoad</key><true/>";
  const struct {
    const char* name;
    std::string contents;  // empty: no file at all
    mode_t mode;
    const char* reason;
  } cases[] = {
      {"missing", "", 0644, "No such file or directory"},
      {"not a property list", "Label = com.example.bad;\n", 0644, "Not a property list"},
      {"broken XML", jobPlist("com.example.bad", touch, runAtLoad).substr(0, 120), 0644,
       "Not a property list"},
      {"array at the top", "<plist version=\"1.0\"><array/></plist>", 0644, "not a dictionary"},
      {"no Label",
       "<plist version=\"1.0\"><dict><key>ProgramArguments</key><array><string>/usr/bin/touch"
       "</string><string>" +
           marker + "</string></array>" + runAtLoad + "</dict></plist>",
       0644, "No Label"},
      {"Label not a string",
       "<plist version=\"1.0\"><dict><key>Label</key><integer>7</integer>"
       "<key>Program</key><string>/usr/bin/touch</string>" +
           runAtLoad + "</dict></plist>",
       0644, "Label in job file"},
      {"empty Label", jobPlist("", touch, runAtLoad), 0644, "Label in job file"},
      {"Label with a newline", jobPlist("com.example.a\n0\tx", touch, runAtLoad), 0644,
       "control character"},
      {"no program",
       "<plist version=\"1.0\"><dict><key>Label</key><string>com.example.bad</string>" + runAtLoad +
           "</dict></plist>",
       0644, "No Program or ProgramArguments"},
      {"empty ProgramArguments", jobPlist("com.example.bad", {}, runAtLoad), 0644, "empty"},
      {"argument not a string",
       "<plist version=\"1.0\"><dict><key>Label</key><string>com.example.bad</string>"
       "<key>ProgramArguments</key><array><string>/usr/bin/touch</string><integer>1</integer>"
       "</array>" +
           runAtLoad + "</dict></plist>",
       0644, "must be a string"},
      {"RunAtLoad not a Boolean",
       jobPlist("com.example.bad", touch, "<key>RunAtLoad</key><string>yes</string>"), 0644,
       "must be a Boolean"},
      {"variable not a string",
       jobPlist("com.example.bad", touch,
                runAtLoad + "<key>EnvironmentVariables</key><dict><key>A</key><true/></dict>"),
       0644, "must be a string"},
      {"a binary job file that expands past the limit", doublingReferences(40), 0644,
       "expand past"},
      {"relative output path",
       jobPlist("com.example.bad", touch,
                runAtLoad + "<key>StandardOutPath</key><string>out.txt</string>"),
       0644, "not an absolute path"},
      {"writable by others", jobPlist("com.example.bad", touch, runAtLoad), 0666,
       "writable by group or others"},
      {"MachServices not a dictionary",
       jobPlist("com.example.bad", touch, runAtLoad + "<key>MachServices</key><true/>"), 0644,
       "MachServices in job file"},
      {"a service name that leaves the socket folder",
       jobPlist("com.example.bad", touch,
                runAtLoad + "<key>MachServices</key><dict><key>../x</key><true/></dict>"),
       0644, "a service name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_ + "/job.plist";
    std::filesystem::remove(path);
    if (!c.contents.empty()) writeJob("job.plist", c.contents, c.mode);
    const auto loaded = run({"load", "-w", path});
    EXPECT_NE(loaded.status, 0);
    EXPECT_NE(loaded.output.find(c.reason), std::string::npos) << loaded.output;
    EXPECT_TRUE(loaded.output.ends_with('\n'));
    EXPECT_EQ(list(), "PID\tStatus\tLabel\n");
    EXPECT_FALSE(std::filesystem::exists(marker));
  }
}

// A binary property list can hold a key with a NUL (in UTF-16 text), which libplist's getters end
// the process over; launchctl reads such a key up to the NUL, as libplist's key lookups do.
TEST_F(LaunchctlTest, ReadsABinaryJobFileWhoseVariableNameHoldsANul) {
  const std::string output = folder_ + "/binary.out";
  plist_t job = plist_new_dict();
  plist_dict_set_item(job, "Label", plist_new_string("com.example.binary"));
  plist_t arguments = plist_new_array();
  for (const char* argument : {"/bin/sh", "-c", "printf %s \"$GREETING\""}) {
    plist_array_append_item(arguments, plist_new_string(argument));
  }
  plist_dict_set_item(job, "ProgramArguments", arguments);
  plist_dict_set_item(job, "RunAtLoad", plist_new_bool(1));
  plist_dict_set_item(job, "StandardOutPath", plist_new_string(output.c_str()));
  plist_t environment = plist_new_dict();
  // Not ASCII, so written as UTF-16, where the é becomes a NUL below.
  plist_dict_set_item(environment, "GREETING\u00e9X", plist_new_string("hello"));
  plist_dict_set_item(job, "EnvironmentVariables", environment);
  char* binary = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(job, &binary, &length);
  plist_free(job);
  ASSERT_NE(binary, nullptr);
  std::string contents(binary, length);
  std::free(binary);
  const auto accent = contents.find(std::string("\0\xe9", 2));
  ASSERT_NE(accent, std::string::npos);
  contents[accent + 1] = '\0';

  const auto loaded = run({"load", "-w", writeJob("binary.plist", contents)});
  ASSERT_EQ(loaded.status, 0) << loaded.output;
  EXPECT_EQ(statusAfterRun("com.example.binary"), "0");
  EXPECT_EQ(support::contentsOf(output), "hello");
}

TEST_F(LaunchctlTest, LoadsAJobWhoseProgramCannotStartAndRecordsStatus78) {
  const std::string runAtLoad = "<key>RunAtLoad</key><true/>";
  const struct {
    const char* label;
    std::vector<std::string> arguments;
    std::string extraKeys;
  } cases[] = {
      {"com.example.missing", {"/nonexistent/program"}, runAtLoad},
      {"com.example.unknown", {"no-such-program-anywhere"}, runAtLoad},
      {"com.example.nowhere",
       {"/bin/true"},
       runAtLoad + "<key>WorkingDirectory</key><string>/nonexistent</string>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto loaded =
        run({"load", "-w", writeJob("job.plist", jobPlist(c.label, c.arguments, c.extraKeys))});
    EXPECT_EQ(loaded.status, 0);
    EXPECT_EQ(loaded.output, "");
    EXPECT_EQ(listed(c.label), (std::vector<std::string>{"-", "78", c.label}));
    EXPECT_EQ(statusPipeline(c.label), "78\n");
  }
  // Not asked to run at load, it is only registered.
  ASSERT_EQ(
      run({"load", "-w", writeJob("idle.plist", jobPlist("com.example.idle", {"/x/y"}))}).status,
      0);
  EXPECT_EQ(listed("com.example.idle"), (std::vector<std::string>{"-", "0", "com.example.idle"}));
}

// A job with MachServices, as the helper's own: launchd's side holds its sockets while it is
// loaded and starts it whenever a client connects while it is not running.
TEST_F(LaunchctlTest, StartsAMachServicesJobOnDemandUntilItIsUnloadedOrRemoved) {
  const std::string services =
      "<key>MachServices</key><dict><key>com.example.demand</key><true/>"
      "<key>com.example.other</key><dict><key>ResetAtClose</key><true/></dict></dict>";
  for (const std::string verb : {"unload", "remove"}) {
    SCOPED_TRACE(verb);
    const auto path = writeJob(
        "demand.plist", jobPlist("com.example.demand", {ACTIVATED_JOB_PROGRAM, "300"}, services));
    const auto loaded = run({"load", "-w", path});
    ASSERT_EQ(loaded.status, 0) << loaded.output;
    EXPECT_EQ(listed("com.example.demand"),
              (std::vector<std::string>{"-", "0", "com.example.demand"}));

    // The second client connects while the program is still starting; its connection waits.
    auto first = linux_platform::connectTo(sockets_ + "/com.example.demand");
    auto second = linux_platform::connectTo(sockets_ + "/com.example.other");
    ASSERT_TRUE(first && second);
    const std::string answer = readLine(first->get());
    const auto pid = answer.substr(0, answer.find(' '));
    EXPECT_EQ(answer, pid + " com.example.demand:com.example.other");
    EXPECT_EQ(readLine(second->get()), answer);
    EXPECT_EQ(statusAfterRun("com.example.demand"), "0");

    // Started again after its exit, for the next client, once the throttle interval since the
    // first start has passed (seen once: the wait is long).
    if (verb == "unload") {
      const std::string again = askService("com.example.demand");
      EXPECT_EQ(again.substr(again.find(' ')), " com.example.demand:com.example.other");
      EXPECT_NE(again.substr(0, again.find(' ')), pid);
    }

    const auto stopped =
        verb == "unload" ? run({"unload", path}) : run({"remove", "com.example.demand"});
    EXPECT_EQ(stopped.status, 0);
    EXPECT_EQ(stopped.output, "");
    for (const char* name : {"com.example.demand", "com.example.other"}) {
      EXPECT_FALSE(std::filesystem::exists(sockets_ + "/" + name)) << name;
      EXPECT_TRUE(askService(name).starts_with("refused")) << name;
    }
    EXPECT_FALSE(listed("com.example.demand").has_value());
  }
}

// A job that exits at once, cleanly or not, while a client waits on its socket without being
// accepted: started once, then not again within the throttle interval (without the throttle, a
// clean exit was started again thousands of times in that time). The window watched is a part of
// the interval, so that the test stays short; the start after the interval is seen above.
TEST_F(LaunchctlTest, StartsAJobThatEndsAtOnceAtMostOncePerThrottleInterval) {
  constexpr auto kWatched = std::chrono::milliseconds(700);
  static_assert(kWatched < launchctl::kThrottleInterval);
  const struct {
    const char* label;
    const char* exit;
  } cases[] = {{"com.example.clean", "0"}, {"com.example.failing", "1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string starts = folder_ + "/" + c.label + ".starts";
    const auto path = writeJob(
        std::string(c.label) + ".plist",
        jobPlist(
            c.label, {"/bin/sh", "-c", "echo started >>" + starts + "; exit " + c.exit},
            std::string("<key>MachServices</key><dict><key>") + c.label + "</key><true/></dict>"));
    ASSERT_EQ(run({"load", "-w", path}).status, 0);
    const auto client = linux_platform::connectTo(sockets_ + "/" + c.label);
    ASSERT_TRUE(client);
    // The run's end is recorded before the window opens.
    support::eventually([&] { return statusAfterRun(c.label) == c.exit; });
    EXPECT_EQ(statusAfterRun(c.label), c.exit);
    std::this_thread::sleep_for(kWatched);
    EXPECT_EQ(support::contentsOf(starts), "started\n");
  }
}

// The helper's terminate and uninstall: the job runs launchctl to take itself out, and goes on
// until it ends by itself; its sockets close at once, and nothing starts it again.
TEST_F(LaunchctlTest, AJobThatRemovesItselfEndsByItselfAndIsNotStartedAgain) {
  const std::string after = folder_ + "/after";
  const auto path = writeJob(
      "self.plist",
      jobPlist("com.example.self",
               {"/bin/sh", "-c",
                std::string(LAUNCHCTL_PROGRAM) + " remove com.example.self; echo $? >" + after},
               "<key>MachServices</key><dict><key>com.example.self</key><true/></dict>"
               "<key>EnvironmentVariables</key><dict><key>LAUNCHCTL_STATE_DIR</key><string>" +
                   state_ + "</string></dict>"));
  ASSERT_EQ(run({"load", "-w", path}).status, 0);
  const auto client = linux_platform::connectTo(sockets_ + "/com.example.self");
  ASSERT_TRUE(client);
  std::string removed;
  support::eventually([&] { return !(removed = support::contentsOf(after)).empty(); });
  EXPECT_EQ(removed, "0\n");
  EXPECT_FALSE(listed("com.example.self").has_value());
  support::eventually([&] { return !std::filesystem::exists(sockets_ + "/com.example.self"); });
  EXPECT_TRUE(askService("com.example.self").starts_with("refused"));
}

TEST_F(LaunchctlTest, RefusesALabelAlreadyLoadedAndJobsNotLoaded) {
  const auto path = writeJob("job.plist", jobPlist("com.example.job", {"/bin/true"}));
  ASSERT_EQ(run({"load", "-w", path}).status, 0);
  const auto again = run({"load", "-w", path});
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(again.output, "Job already loaded: com.example.job\n");

  const auto other = writeJob("other.plist", jobPlist("com.example.other", {"/bin/true"}));
  const std::vector<std::vector<std::string>> refused{
      {"unload", "-w", other},
      {"unload", "-w", folder_ + "/nowhere.plist"},
      {"remove", "com.example.other"},
      {"remove", "com.example"},
  };
  for (const auto& arguments : refused) {
    SCOPED_TRACE(arguments.back());
    const auto outcome = run(arguments);
    EXPECT_NE(outcome.status, 0);
    EXPECT_FALSE(outcome.output.empty());
  }
  EXPECT_EQ(list(), "PID\tStatus\tLabel\n-\t0\tcom.example.job\n");
}

TEST_F(LaunchctlTest, DescribesAStatusAsThePipelinePassesIt) {
  const struct {
    const char* code;
    int status;
    const char* output;
  } cases[] = {
      {"78\n", 0, "78: Configuration error\n"},
      {"78", 0, "78: Configuration error\n"},
      {"0\n", 0, "0: Success\n"},
      {"2\n", 0, "2: No such file or directory\n"},
      {"-15\n", 0, "-15: Terminated by signal 15 (SIGTERM: Terminated)\n"},
      {"-9", 0, "-9: Terminated by signal 9 (SIGKILL: Killed)\n"},
      {"-64", 0, "-64: Terminated by signal 64 (SIGRTMIN+30)\n"},
      {"-200", 0, "-200: Unknown status\n"},
      {"", 1, "Not a status code: \"\"\n"},
      {"0\n78\n", 1, "Not a status code: \"0\\n78\\n\"\n"},
      {"abc", 1, "Not a status code: \"abc\"\n"},
      {"99999999999", 1, "Not a status code: \"99999999999\"\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const auto outcome = run({"error", c.code});
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.output, c.output);
  }
}

TEST_F(LaunchctlTest, KeepsEveryChangeWhenLaunchctlsRunAtOnce) {
  const auto same = writeJob("same.plist", jobPlist("com.example.same", {"/bin/true"}));
  std::vector<Started> started;
  for (int index = 0; index < 8; ++index) {
    const auto path = writeJob("job" + std::to_string(index) + ".plist",
                               jobPlist("com.example.job" + std::to_string(index), {"/bin/true"},
                                        "<key>RunAtLoad</key><true/>"));
    started.push_back(start({"load", "-w", path}));
    started.push_back(start({"load", "-w", same}));
  }
  int sameLoaded = 0;
  for (std::size_t index = 0; index < started.size(); ++index) {
    const auto outcome = started[index].finish();
    if (index % 2 == 0) {
      EXPECT_EQ(outcome.status, 0) << outcome.output;
    } else if (outcome.status == 0) {
      ++sameLoaded;
    }
  }
  EXPECT_EQ(sameLoaded, 1);
  for (int index = 0; index < 8; ++index) {
    EXPECT_EQ(statusAfterRun("com.example.job" + std::to_string(index)), "0");
  }
  EXPECT_EQ(loadedLabels().size(), 9u);
}

TEST_F(LaunchctlTest, RefusesArgumentListsItDoesNotKnow) {
  const std::vector<std::vector<std::string>> cases{
      {},
      {"start", "x"},
      {"load"},
      {"load", "-w"},
      {"load", "-x", "a"},
      {"list", "x"},
      {"remove"},
      {"error"},
      {"load", "a", "b"},
  };
  for (const auto& arguments : cases) {
    const auto outcome = run(arguments);
    EXPECT_EQ(outcome.status, 64);
    EXPECT_TRUE(outcome.output.starts_with("usage: launchctl")) << outcome.output;
  }
}

}  // namespace
}  // namespace tarnel
