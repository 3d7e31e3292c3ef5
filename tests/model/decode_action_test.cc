#include "model/decode_action.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnel {
namespace {

Dictionary request(Value kind, Value parameters) {
  return Dictionary{{std::move(kind), std::move(parameters)}};
}

// The two Booleans every request needs, then `more`.
Dictionary flags(Dictionary more = {}) {
  Dictionary parameters{{"privileged", false}, {"presentError", true}};
  for (const auto& entry : more.entries()) parameters.append(entry.key, entry.value);
  return parameters;
}

std::string repeat(std::string_view piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(DecodeAction, RefusesEveryMalformedRequest) {
  const struct {
    const char* name;
    Dictionary request;
  } cases[] = {
      {"empty request", Dictionary{}},
      {"kind 8", request(8, flags())},
      {"kind -1", request(-1, flags())},
      {"kind as the string \"3\"", request("3", flags())},
      {"kind 2.5", request(2.5, flags())},
      {"kind true", request(true, flags())},
      {"kind null", request(Value(), flags())},
      {"parameters a string", request(3, "path")},
      {"parameters an array", request(3, Array{})},
      {"parameters null", request(3, Value())},
      {"privileged missing", request(7, Dictionary{{"presentError", true}})},
      {"privileged the string \"true\"",
       request(7, Dictionary{{"privileged", "true"}, {"presentError", true}})},
      {"privileged the number 2", request(7, Dictionary{{"privileged", 2}, {"presentError", true}})},
      {"privileged null", request(7, Dictionary{{"privileged", Value()}, {"presentError", true}})},
      {"presentError missing for terminate", request(7, Dictionary{{"privileged", false}})},
      {"presentError missing for uninstall", request(6, Dictionary{{"privileged", false}})},
      {"presentError the number -1",
       request(6, Dictionary{{"privileged", false}, {"presentError", -1}})},
      {"Privileged spelled in another case",
       request(7, Dictionary{{"Privileged", false}, {"presentError", true}})},
      {"first key bad, second good",
       Dictionary{{"x", flags()}, {3, flags(Dictionary{{"path", "/a"}})}}},
  };
  for (const auto& c : cases) EXPECT_FALSE(decodeAction(c.request).has_value()) << c.name;
}

TEST(DecodeAction, ReadsTheKindFromAnyWholeNumberAndOnlyTheFirstEntry) {
  const struct {
    Value key;
    Action::Kind kind;
  } cases[] = {{0, Action::Kind::save},      {1, Action::Kind::saveLoad},
               {2.0, Action::Kind::delete_}, {3, Action::Kind::load},
               {4, Action::Kind::remove},    {5, Action::Kind::test},
               {6, Action::Kind::uninstall}, {7.0, Action::Kind::terminate}};
  for (const auto& c : cases) {
    const auto action = decodeAction(request(c.key, flags()));
    ASSERT_TRUE(action.has_value());
    EXPECT_EQ(action->kind, c.kind);
  }
  const auto firstWins = decodeAction(Dictionary{{7, flags()}, {"junk", 1}, {3, Value()}});
  ASSERT_TRUE(firstWins.has_value());
  EXPECT_EQ(firstWins->kind, Action::Kind::terminate);
}

TEST(DecodeAction, KeepsTheFlagsAndTheAuthorizationData) {
  const auto privileged = decodeAction(
      request(7, Dictionary{{"privileged", 1}, {"presentError", 0.0}, {"authData", Bytes(32, 7)}}));
  ASSERT_TRUE(privileged.has_value());
  EXPECT_TRUE(privileged->privileged);
  EXPECT_FALSE(privileged->presentError);
  EXPECT_TRUE(privileged->cleanUp);
  EXPECT_EQ(privileged->authData, Bytes(32, 7));

  const auto textAuthData = decodeAction(request(7, flags(Dictionary{{"authData", "abc"}})));
  ASSERT_TRUE(textAuthData.has_value());
  EXPECT_FALSE(textAuthData->authData.has_value());

  const auto emptyAuthData = decodeAction(request(7, flags(Dictionary{{"authData", Bytes{}}})));
  ASSERT_TRUE(emptyAuthData.has_value());
  EXPECT_EQ(emptyAuthData->authData, Bytes{});
}

TEST(DecodeAction, GivesEachKindItsPayloadAndNoOther) {
  // Every key any kind reads, so that each kind shows which it takes and which it ignores.
  const Dictionary everything = flags(Dictionary{{"path", "/p"},
                                                 {"string", "<plist/>"},
                                                 {"label", "job"},
                                                 {"deletePath", "/d"},
                                                 {"testPath", "/t"},
                                                 {"testOutputPath", "/o"},
                                                 {"localAgentLoadPath", "/l"},
                                                 {"localAgentUnloadPath", "/u"}});
  for (std::int64_t raw = 0; raw <= 7; ++raw) {
    const auto action = decodeAction(request(raw, everything));
    ASSERT_TRUE(action.has_value()) << raw;
    const auto kind = action->kind;
    const bool saves = kind == Action::Kind::save || kind == Action::Kind::saveLoad;
    EXPECT_EQ(action->save.has_value(), saves) << raw;
    EXPECT_EQ(action->delete_.has_value(), kind == Action::Kind::delete_) << raw;
    EXPECT_EQ(action->load.has_value(), kind == Action::Kind::load) << raw;
    EXPECT_EQ(action->remove.has_value(), kind == Action::Kind::remove) << raw;
    EXPECT_EQ(action->test.has_value(), kind == Action::Kind::test) << raw;
    EXPECT_FALSE(action->authData.has_value());
  }
  const auto save = decodeAction(request(0, everything))->save;
  EXPECT_EQ(save->path, "/p");
  EXPECT_EQ(save->string, "<plist/>");
  EXPECT_EQ(save->label, "job");
  EXPECT_FALSE(save->deletePath.has_value());
  EXPECT_FALSE(save->localAgentLoadPath.has_value());

  const auto deletion = decodeAction(request(2, everything))->delete_;
  EXPECT_EQ(deletion->deletePath, "/d");
  EXPECT_EQ(deletion->label, "job");
  EXPECT_FALSE(deletion->localAgentUnloadPath.has_value());

  EXPECT_EQ(decodeAction(request(3, everything))->load->path, "/p");

  const auto removal = decodeAction(request(4, everything))->remove;
  EXPECT_EQ(removal->path, "/p");
  EXPECT_EQ(removal->label, "job");

  const auto test = decodeAction(request(5, everything))->test;
  EXPECT_EQ(test->testPath, "/t");
  EXPECT_EQ(test->testOutputPath, "/o");
  EXPECT_EQ(test->string, "<plist/>");
  EXPECT_EQ(test->label, "job");
}

TEST(DecodeAction, AMissingOrWrongPayloadKeyLeavesThePayloadAbsentButDecodes) {
  const struct {
    const char* name;
    std::int64_t kind;
    Dictionary parameters;
  } cases[] = {
      {"save without label", 0, flags(Dictionary{{"path", "/p"}, {"string", "s"}})},
      {"save with a numeric label", 0,
       flags(Dictionary{{"path", "/p"}, {"string", "s"}, {"label", 5}})},
      {"saveLoad without path", 1, flags(Dictionary{{"string", "s"}, {"label", "l"}})},
      {"save with data for string", 0,
       flags(Dictionary{{"path", "/p"}, {"string", Bytes{1}}, {"label", "l"}})},
      {"delete without deletePath", 2, flags(Dictionary{{"path", "/p"}, {"label", "l"}})},
      {"delete with a null label", 2, flags(Dictionary{{"deletePath", "/d"}, {"label", Value()}})},
      {"load without path", 3, flags()},
      {"remove without label", 4, flags(Dictionary{{"path", "/p"}})},
      {"test without testOutputPath", 5,
       flags(Dictionary{{"testPath", "/t"}, {"string", "s"}, {"label", "l"}})},
  };
  for (const auto& c : cases) {
    const auto action = decodeAction(request(c.kind, c.parameters));
    ASSERT_TRUE(action.has_value()) << c.name;
    EXPECT_FALSE(action->save || action->delete_ || action->load || action->remove || action->test)
        << c.name;
  }
}

TEST(DecodeAction, TakesStringsAsTheyAre) {
  const auto action = decodeAction(request(3, flags(Dictionary{{"path", ""}})));
  ASSERT_TRUE(action && action->load);
  EXPECT_EQ(action->load->path, "");
  const auto spaced = decodeAction(request(3, flags(Dictionary{{"path", " /a/../b "}})));
  EXPECT_EQ(spaced->load->path, " /a/../b ");
}

TEST(DecodeAction, LimitsTheSaveTextToFewerThan64000Characters) {
  // Each piece is one user-perceived character of several bytes and code points, so bytes, code
  // points and characters all differ.
  const struct {
    const char* name;
    std::string_view character;
  } pieces[] = {
      {"ASCII", "a"},
      {"e with a combining acute", "e\xCC\x81"},
      {"thumbs up with skin tone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"},
      {"family joined by ZWJ",
       "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"},
  };
  for (const auto& piece : pieces) {
    for (const auto& [count, passes] : {std::pair{63999u, true}, std::pair{64000u, false}}) {
      const auto text = repeat(piece.character, count);
      for (const std::int64_t kind : {0, 1}) {
        const auto action = decodeAction(request(
            kind, flags(Dictionary{{"path", "/p"}, {"string", text}, {"label", "l"}})));
        ASSERT_TRUE(action.has_value());
        EXPECT_EQ(action->save.has_value(), passes) << piece.name << " x" << count;
      }
    }
  }
}

TEST(DecodeAction, PutsNoLimitOnTheTestText) {
  const auto text = repeat("e\xCC\x81", 100000);
  const auto action = decodeAction(request(
      5, flags(Dictionary{
             {"testPath", "/t"}, {"testOutputPath", "/o"}, {"string", text}, {"label", "l"}})));
  ASSERT_TRUE(action && action->test);
  EXPECT_EQ(action->test->string.size(), text.size());
}

TEST(ActionKind, ConvertsExactlyTheRawValuesZeroToSeven) {
  for (std::int64_t raw = -2; raw <= 9; ++raw) {
    const auto kind = kindFromRawValue(raw);
    EXPECT_EQ(kind.has_value(), raw >= 0 && raw <= 7) << raw;
    if (kind) {
      EXPECT_EQ(rawValue(*kind), raw);
    }
  }
}

}  // namespace
}  // namespace tarnel
