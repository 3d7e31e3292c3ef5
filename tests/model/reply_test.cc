#include "model/reply.h"

#include <gtest/gtest.h>

namespace tarnel {
namespace {

const Dictionary& onlyEntryValue(const Dictionary& reply, std::int64_t key) {
  EXPECT_EQ(reply.size(), 1u);
  EXPECT_EQ(reply.entries().front().key, Value(key));
  return *reply.entries().front().value.get<Dictionary>();
}

TEST(Reply, CodeErrorHoldsOurDomainAndTheCodeUnderAnIntegerKey) {
  const struct {
    ReplyErrorCode code;
    std::int64_t number;
  } codes[] = {{ReplyErrorCode::invalidRequest, 1}, {ReplyErrorCode::notAuthorized, 2},
               {ReplyErrorCode::missingPayload, 4}, {ReplyErrorCode::removeFailed, 5},
               {ReplyErrorCode::loadFailed, 6},     {ReplyErrorCode::unloadFailed, 7},
               {ReplyErrorCode::symbolicLink, 8}};
  for (const auto& [code, number] : codes) {
    const auto reply = makeCodeErrorReply(code);
    const auto& information = onlyEntryValue(reply, 0);
    EXPECT_EQ(information, (Dictionary{{"domain", "com.quorvant.xpc.error.domain"},
                                       {"code", number}}));
  }
}

TEST(Reply, PlatformErrorCarriesItsOwnDomainAndAnEmptySuggestionWhenItHasNone) {
  const PlatformError withoutSuggestion{
      .domain = "NSCocoaErrorDomain", .code = 4, .description = "No such file"};
  EXPECT_EQ(onlyEntryValue(makeNSErrorReply(withoutSuggestion), 0),
            (Dictionary{{"domain", "NSCocoaErrorDomain"},
                        {"code", 4},
                        {"description", "No such file"},
                        {"suggestion", ""}}));

  const PlatformError withSuggestion{.domain = "NSCocoaErrorDomain",
                                     .code = 513,
                                     .description = "Permission denied",
                                     .recoverySuggestion = "Ask an administrator."};
  const auto reply = makeNSErrorReply(withSuggestion);
  EXPECT_EQ(*onlyEntryValue(reply, 0).find("suggestion"), Value("Ask an administrator."));
}

TEST(Reply, SuccessAndOutputAreTextsUnderTheirKeys) {
  EXPECT_EQ(successReply(), (Dictionary{{2, ""}}));
  EXPECT_EQ(outputReply(""), (Dictionary{{1, ""}}));
  EXPECT_EQ(outputReply("report\n"), (Dictionary{{1, "report\n"}}));
  EXPECT_FALSE(successReply().entries().front().value.is<bool>());
}

}  // namespace
}  // namespace tarnel
