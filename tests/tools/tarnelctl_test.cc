#include <gtest/gtest.h>

#include <limits>

#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/diagnostic_notation.h"

namespace tarnel::tarnelctl {
namespace {

TEST(DiagnosticNotation, KeepsEveryKindApart) {
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

TEST(CommandLine, BuildsTheRequestOfEachSubcommandFromItsOptions) {
  const auto command = parseCommandLine({"saveLoad", "--path", "/L/j.plist", "--label", "j",
                                         "--present-error", "false", "--auth-data", "00ff"},
                                        Caller::root);
  ASSERT_TRUE(command.has_value()) << command.error();
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

TEST(CommandLine, RefusesWhatItCannotSend) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"reload"},
      {"load", "--path"},
      {"load", "--colour", "red"},
      {"load", "--present-error", "yes"},
      {"load", "--auth-data", "abc"},
      {"load", "--auth-data", "zz"},
      {"send", "--path", "/x"},
  };
  for (const auto& arguments : refused) {
    EXPECT_FALSE(parseCommandLine(arguments, Caller::root).has_value())
        << ::testing::PrintToString(arguments);
  }
}

// Run by any user but root, tarnelctl sends nothing that the helper would carry out without an
// administrator's approval.
TEST(CommandLine, AnyUserButRootSendsOnlyRequestsItAuthorizes) {
  for (const auto& kind : {"save", "load", "delete", "terminate"}) {
    const auto command = parseCommandLine({kind, "--path", "/L/j.plist"}, Caller::otherUser);
    ASSERT_TRUE(command.has_value()) << command.error();
    EXPECT_TRUE(command->options.privileged) << kind;
  }
  EXPECT_FALSE(parseCommandLine({"send"}, Caller::otherUser).has_value());
  EXPECT_FALSE(parseCommandLine({"save", "--auth-data", std::string(64, 'a')}, Caller::otherUser)
                   .has_value());
  EXPECT_EQ(parseCommandLine({"endpoint"}, Caller::otherUser)->verb, Command::Verb::endpoint);
}

}  // namespace
}  // namespace tarnel::tarnelctl
