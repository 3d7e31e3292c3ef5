#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>

#include "model/reply.h"
#include "platform/authorization.h"
#include "tools/tarnelctl/authorization_status.h"
#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/diagnostic_notation.h"
#include "tools/tarnelctl/help_text.h"
#include "tools/tarnelctl/helper_install.h"
#include "tools/tarnelctl/helper_version.h"
#include "tools/tarnelctl/json_notation.h"
#include "tools/tarnelctl/report.h"

namespace tarnel::tarnelctl {
namespace {

TEST(TarnelctlDiagnosticNotation, KeepsEveryKindApart) {
  const struct {
    Value value;
    const char* text;
  } cases[] = {
      {Value(), "null"},
      {Value(true), "true"},
      {Value(2), "2"},
      {Value(-7), "-7"},
      {Value(2.0), "2.0"},
      {Value(2.5), "2.5"},
      {Value(1e300), "1e+300"},
      {Value(std::numeric_limits<double>::quiet_NaN()), "NaN"},
      {Value(-std::numeric_limits<double>::infinity()), "-Infinity"},
      {Value(""), "\"\""},
      {Value("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\""},
      {Value("\x7f"), "\"\\u007f\""},
      {Value("caf\xC3\xA9"), "\"caf\xC3\xA9\""},
      {Value(Bytes{}), "h''"},
      {Value(Bytes{0x00, 0xab, 0xff}), "h'00abff'"},
      {Value(Array{Value(1), Value("x")}), "[1, \"x\"]"},
      {Value(Dictionary{{0, Dictionary{{"domain", "d"}, {"code", 6}}}}),
       "{0: {\"domain\": \"d\", \"code\": 6}}"},
      {Value(Dictionary{{2, ""}}), "{2: \"\"}"},
  };
  for (const auto& c : cases) EXPECT_EQ(diagnosticNotation(c.value), c.text);
}

TEST(TarnelctlJsonNotation, WritesWhatJsonLacksAsItSays) {
  const struct {
    Value value;
    const char* text;
  } cases[] = {
      {Value(Dictionary{{2, ""}}), R"({"2":""})"},
      {Value(Dictionary{{"outcome", "report"}, {"report", "a\"b\n\x01"}}),
       R"({"outcome":"report","report":"a\"b\n\u0001"})"},
      {Value("\x7f"), "\"\x7f\""},
      {Value(Bytes{0x00, 0xff}), R"("00ff")"},
      {Value(std::numeric_limits<double>::quiet_NaN()), "null"},
      {Value(Array{Value(), Value(false), Value(-3), Value(2.5)}), "[null,false,-3,2.5]"},
  };
  for (const auto& c : cases) EXPECT_EQ(jsonNotation(c.value), c.text);
}

TEST(TarnelctlCommandLine, BuildsTheRequestOfEachSubcommandFromItsOptions) {
  const auto command = parseCommandLine({"saveLoad", "--path", "/L/j.plist", "--label", "j",
                                         "--present-error", "false", "--auth-data", "00ff"},
                                        Caller::root);
  ASSERT_TRUE(command.has_value()) << describe(command.error());
  EXPECT_EQ(command->verb, Command::Verb::request);
  EXPECT_EQ(command->kind, Action::Kind::saveLoad);
  EXPECT_EQ(buildRequest(command->kind, command->options, "<plist/>", command->options.authData),
            (Dictionary{{1, Dictionary{{"privileged", false},
                                       {"presentError", false},
                                       {"authData", Bytes{0x00, 0xff}},
                                       {"path", "/L/j.plist"},
                                       {"label", "j"},
                                       {"string", "<plist/>"}}}}));

  const auto terminate = parseCommandLine({"terminate", "--privileged"}, Caller::root);
  ASSERT_TRUE(terminate.has_value());
  EXPECT_EQ(buildRequest(terminate->kind, terminate->options, std::nullopt, std::nullopt),
            (Dictionary{{7, Dictionary{{"privileged", true}, {"presentError", true}}}}));

  EXPECT_EQ(parseCommandLine({"send"}, Caller::root)->verb, Command::Verb::send);
  EXPECT_EQ(parseCommandLine({"endpoint"}, Caller::root)->verb, Command::Verb::endpoint);
}

TEST(TarnelctlCommandLine, RefusesWhatItCannotSend) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"reload"},
      {"load", "--path"},
      {"load", "--colour", "red"},
      {"load", "--present-error", "yes"},
      {"load", "--auth-data", "abc"},
      {"load", "--auth-data", "zz"},
      {"send", "--path", "/x"},
      {"--format", "xml", "endpoint"},
      {"endpoint", "--format"},
      {"--path", "/x", "load"},
      {"install-helper", "--label", "x"},
  };
  for (const auto& arguments : refused) {
    EXPECT_FALSE(parseCommandLine(arguments, Caller::root).has_value())
        << ::testing::PrintToString(arguments);
  }
}

// Run by any user but root, tarnelctl sends nothing that the helper would carry out without an
// administrator's approval.
TEST(TarnelctlCommandLine, AnyUserButRootSendsOnlyRequestsItAuthorizes) {
  for (const auto& kind : {"save", "load", "delete", "terminate"}) {
    const auto command = parseCommandLine({kind, "--path", "/L/j.plist"}, Caller::otherUser);
    ASSERT_TRUE(command.has_value()) << describe(command.error());
    EXPECT_TRUE(command->options.privileged) << kind;
  }
  EXPECT_FALSE(parseCommandLine({"send"}, Caller::otherUser).has_value());
  EXPECT_FALSE(parseCommandLine({"install-helper"}, Caller::otherUser).has_value());
  EXPECT_FALSE(parseCommandLine({"save", "--auth-data", std::string(64, 'a')}, Caller::otherUser)
                   .has_value());
  EXPECT_EQ(parseCommandLine({"endpoint"}, Caller::otherUser)->verb, Command::Verb::endpoint);
}

TEST(TarnelctlCommandLine, TakesTheFormatAndHelpBeforeTheSubcommandOrAmongItsOptions) {
  const auto before =
      parseCommandLine({"--format", "diagnostic", "load", "--path", "/p"}, Caller::root);
  ASSERT_TRUE(before.has_value()) << describe(before.error());
  EXPECT_EQ(before->format, Format::diagnostic);
  EXPECT_EQ(before->options.path, "/p");
  EXPECT_EQ(parseCommandLine({"endpoint", "--format", "json"}, Caller::root)->format, Format::json);
  EXPECT_EQ(parseCommandLine({"install-helper"}, Caller::root)->format, Format::readable);
  EXPECT_EQ(parseCommandLine({"install-helper"}, Caller::root)->verb, Command::Verb::installHelper);
  for (const std::vector<std::string>& help :
       {std::vector<std::string>{"--help"}, {"save", "--help"}, {"-h"}}) {
    EXPECT_EQ(parseCommandLine(help, Caller::otherUser)->verb, Command::Verb::help);
  }
}

Command requestOf(Action::Kind kind, Format format, RequestOptions options = {}) {
  return Command{
      .verb = Command::Verb::request, .kind = kind, .options = options, .format = format};
}

CallResult replyOf(Value value) { return std::vector<ReplyArgument>{std::move(value)}; }

// One case per kind of outcome and form: what people read, what scripts have always parsed (the
// diagnostic line and its exit status), and the JSON object.
TEST(TarnelctlReport, SaysWhatCameOfEachRequestInTheFormAsked) {
  using linux_platform::CallFailure;
  const RequestOptions saved{.path = "/L/x.plist", .label = "x"};
  const Value fileError(makeNSErrorReply(PlatformError{.domain = "NSCocoaErrorDomain",
                                                       .code = 4,
                                                       .description = "No such file: /L/y.plist",
                                                       .recoverySuggestion = "Make it first."}));
  const struct {
    Command command;
    CallResult reply;
    const char* out;
    const char* err;
    int status;
  } cases[] = {
      {requestOf(Action::Kind::save, Format::readable, saved), replyOf(successReply()),
       "saved /L/x.plist\n", "", kDone},
      {requestOf(Action::Kind::delete_, Format::readable, {.label = "x", .deletePath = "/L/x"}),
       replyOf(successReply()), "took x out of launchd and deleted /L/x\n", "", kDone},
      {requestOf(Action::Kind::test, Format::readable), replyOf(outputReply("78: failed\n")),
       "78: failed\n", "", kDone},
      {requestOf(Action::Kind::test, Format::readable, {.label = "x", .testOutputPath = "/t/o"}),
       replyOf(outputReply("")),
       "the test run of x reported nothing: its load printed nothing, it had not failed, and it "
       "wrote nothing to /t/o (a job runs at its load only with RunAtLoad, and writes there only "
       "as its StandardOutPath)\n",
       "", kDone},
      {requestOf(Action::Kind::load, Format::readable), replyOf(fileError), "",
       "tarnelctl: No such file: /L/y.plist (NSCocoaErrorDomain 4)\n  Make it first.\n",
       kAnsweredWithError},
      {requestOf(Action::Kind::load, Format::readable),
       replyOf(makeCodeErrorReply(ReplyErrorCode::loadFailed)), "",
       "tarnelctl: launchctl could not load the job (com.quorvant.xpc.error.domain 6)\n"
       "  check that the file exists and holds a job definition; launchctl's words are in the "
       "helper's log\n",
       kAnsweredWithError},
      {requestOf(Action::Kind::terminate, Format::readable),
       std::unexpected(CallFailure::endedWithoutReply), "the helper has ended\n", "", kDone},
      {requestOf(Action::Kind::uninstall, Format::json),
       std::unexpected(CallFailure::endedWithoutReply), "{\"outcome\":\"ended\"}\n", "", kDone},
      {requestOf(Action::Kind::terminate, Format::diagnostic),
       std::unexpected(CallFailure::endedWithoutReply), "",
       "tarnelctl: the connection ended without a reply\n", kEndedWithoutReply},
      {requestOf(Action::Kind::load, Format::readable),
       std::unexpected(CallFailure::endedWithoutReply), "",
       "tarnelctl: the helper ended the connection without a reply\n"
       "  the helper ended, or chose not to answer\n"
       "  check: the helper's log: journalctl -t com.quorvant.TarnelX8Helper\n",
       kEndedWithoutReply},
      {requestOf(Action::Kind::load, Format::diagnostic),
       replyOf(makeCodeErrorReply(ReplyErrorCode::loadFailed)),
       "{0: {\"domain\": \"com.quorvant.xpc.error.domain\", \"code\": 6}}\n", "", kDone},
      {requestOf(Action::Kind::save, Format::json, saved), replyOf(successReply()),
       "{\"outcome\":\"success\"}\n", "", kDone},
      {requestOf(Action::Kind::load, Format::json), replyOf(fileError),
       R"({"outcome":"error","domain":"NSCocoaErrorDomain","code":4,)"
       R"("description":"No such file: /L/y.plist","suggestion":"Make it first."})"
       "\n",
       "", kAnsweredWithError},
      {Command{.verb = Command::Verb::endpoint},
       std::vector<ReplyArgument>{std::optional(ListenerEndpoint{"/var/run/h"})},
       "the helper's listener endpoint is /var/run/h\n", "", kDone},
      {Command{.verb = Command::Verb::send}, replyOf(Value(Dictionary{{9, 1}})),
       "the helper replied {9: 1}\n", "", kDone},
  };
  for (const auto& c : cases) {
    const auto report = reportReply(c.command, c.reply);
    EXPECT_EQ(report.out, c.out);
    EXPECT_EQ(report.err, c.err);
    EXPECT_EQ(report.status, c.status) << c.out << c.err;
  }
}

// -60008 says only that something behind the authorization failed; what the client can find out
// (whose socket answers) picks the cause that the person is told of.
TEST(TarnelctlAuthorizationStatus, EachStatusCarriesItsMeaning) {
  const AuthorizationServers allUp;
  const struct {
    OSStatus status;
    AuthorizationStep step;
    AuthorizationServers servers;
    const char* meaning;
  } cases[] = {
      {errAuthorizationInternal,
       AuthorizationStep::create,
       {.authorityd = false},
       "authorityd, the authorization server, is not running"},
      {errAuthorizationInternal,
       AuthorizationStep::copyRights,
       {.systemBus = false},
       "the system D-Bus is not running"},
      {errAuthorizationInternal, AuthorizationStep::copyRights, allUp,
       "authorityd could not ask polkit"},
      {errAuthorizationInteractionNotAllowed, AuthorizationStep::copyRights, allUp,
       "no authentication agent"},
      {errAuthorizationDenied, AuthorizationStep::copyRights, allUp, "was refused"},
      {errAuthorizationCanceled, AuthorizationStep::copyRights, allUp, "was dismissed"},
      {errAuthorizationInvalidRef, AuthorizationStep::makeExternalForm, allUp, "no longer knows"},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(explainAuthorizationStatus(c.status, c.step, c.servers).meaning,
                ::testing::HasSubstr(c.meaning))
        << c.status;
  }
  // Scripts read the first line as it always was; the meaning follows in every form.
  const Failure refused{.what = "the right com.quorvant.TarnelX8 was not granted (status -60005)",
                        .explanation = StatusExplanation{.meaning = "M", .check = "C"},
                        .authorizationStatus = errAuthorizationDenied};
  EXPECT_EQ(reportFailure(Format::diagnostic, refused).err,
            "tarnelctl: the right com.quorvant.TarnelX8 was not granted (status -60005)\n  M\n"
            "  check: C\n");
  EXPECT_EQ(reportFailure(Format::json, refused).out,
            R"j({"outcome":"failed","reason":"the right com.quorvant.TarnelX8 was not granted )j"
            R"j((status -60005)","status":-60005,"meaning":"M","check":"C"})j"
            "\n");
}

TEST(TarnelctlHelperVersion, ReadsCodesignsDisplayAndOrdersNumberByNumber) {
  const std::string display =
      "Identifier=com.quorvant.TarnelX8Helper\nSubject=CN=x\nInfo:\n<plist><dict>\n"
      "\t<key>CFBundleShortVersionString</key>\n\t<string>8.0</string>\n"
      "\t<key>CFBundleVersion</key>\n\t<string>423</string>\n</dict></plist>\n";
  EXPECT_EQ(bundleVersionIn(display), "423");
  EXPECT_EQ(bundleVersionIn("Identifier=x\nSubject=y\nInfo=none\n"), std::nullopt);
  EXPECT_EQ(bundleVersionIn("x\nInfo:\n<key>CFBundleVersion</key><string>4 2</string>"),
            std::nullopt);

  EXPECT_TRUE(compareVersions("423", "1000") < 0);
  EXPECT_TRUE(compareVersions("8.0", "8") == 0);
  EXPECT_TRUE(compareVersions("0423", "423") == 0);
  EXPECT_TRUE(compareVersions("8.0.1", "8.0") > 0);
  EXPECT_TRUE(compareVersions("424", "423") > 0);
}

TEST(TarnelctlHelperInstall, LeavesACurrentHelperAndInstallsAMissingOrOlderOne) {
  const HelperInstallPaths paths{.installed = "/L/h"};
  const auto current = reportIfCurrent(
      Format::readable, paths, {.carried = "423", .installed = true, .installedVersion = "424"});
  ASSERT_TRUE(current.has_value());
  EXPECT_EQ(current->out,
            "the helper installed at /L/h is version 424, newer than the one carried (423): "
            "nothing to do\n");
  EXPECT_FALSE(reportIfCurrent(Format::readable, paths,
                               {.carried = "423", .installed = true, .installedVersion = "99"}));
  // A helper whose version cannot be read is replaced, not trusted to be current.
  EXPECT_FALSE(reportIfCurrent(Format::readable, paths, {.carried = "423", .installed = true}));

  EXPECT_EQ(reportInstall(Format::json, paths, {.carried = "423"}, 0).out,
            R"({"outcome":"installed","installed":"423","previous":null})"
            "\n");
  EXPECT_EQ(reportInstall(Format::readable, paths, {.carried = "423"}, 1).status, kFailedHere);
}

// The manual page repeats each subcommand's row word for word, so that the two agree.
TEST(TarnelctlHelpText, ListsEverySubcommandWithAnExampleAsTheManualPageDoes) {
  std::ifstream file(TARNELCTL_MANUAL_PAGE);
  ASSERT_TRUE(file) << TARNELCTL_MANUAL_PAGE;
  const std::string manual{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::string help = helpText();
  for (const auto& subcommand : subcommandHelp()) {
    EXPECT_THAT(manual, ::testing::HasSubstr("*" + std::string(subcommand.synopsis) + "*\n\t" +
                                             std::string(subcommand.summary) + "\n"));
    EXPECT_THAT(manual, ::testing::HasSubstr("\t" + std::string(subcommand.example) + "\n"));
    EXPECT_THAT(help, ::testing::HasSubstr("e.g. " + std::string(subcommand.example) + "\n"));
    const auto name = subcommand.synopsis.substr(0, subcommand.synopsis.find(' '));
    EXPECT_TRUE(parseCommandLine({std::string(name), "--help"}, Caller::root).has_value()) << name;
  }
}

}  // namespace
}  // namespace tarnel::tarnelctl
