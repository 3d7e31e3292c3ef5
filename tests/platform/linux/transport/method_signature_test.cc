#include "platform/linux/transport/method_signature.h"

#include <gtest/gtest.h>

namespace tarnel::linux_platform {
namespace {

using Kinds = std::vector<ArgumentKind>;

TEST(MethodSignatureTest, ReadsTheKindsOfArgumentsAndReply) {
  const struct {
    const char* encoding;
    Kinds arguments;
    std::optional<Kinds> reply;
  } cases[] = {
      {R"(v32@0:8@"NSDictionary"16@?<v@?@"NSDictionary">24)",
       {ArgumentKind::dictionary},
       Kinds{ArgumentKind::dictionary}},
      {R"(v24@0:8@?<v@?@"NSXPCListenerEndpoint">16)", {}, Kinds{ArgumentKind::endpoint}},
      {R"(v32@0:8@"NSString"16@?<v@?@"NSXPCListenerEndpoint"@"NSData"B>24)",
       {ArgumentKind::string},
       Kinds{ArgumentKind::endpoint, ArgumentKind::data, ArgumentKind::boolean}},
      {R"(v16@0:8)", {}, std::nullopt},
      {R"(v28@0:8q16r@"NSArray"20)", {ArgumentKind::integer, ArgumentKind::array}, std::nullopt},
      {R"(v24@0:8@?<v@?>16)", {}, Kinds{}},
  };
  for (const auto& c : cases) {
    const auto signature = parseMethodSignature(c.encoding);
    ASSERT_TRUE(signature.has_value()) << c.encoding;
    EXPECT_EQ(signature->arguments, c.arguments) << c.encoding;
    EXPECT_EQ(signature->reply, c.reply) << c.encoding;
  }
}

TEST(MethodSignatureTest, RefusesWhatItCannotCheck) {
  for (const char* encoding : {
           "",
           R"(@16@0:8)",                               // returns a value
           R"(v16:0@8)",                               // receiver and selector swapped
           R"(v24@0:8@16)",                            // an object of no known class
           R"(v24@0:8@"NSDate"16)",                    // a class no value is
           R"(v24@0:8@"NSXPCListenerEndpoint"16)",     // endpoints come only in replies
           R"(v24@0:8@?16)",                           // a block of unknown arguments
           R"(v32@0:8@?<v@?>16@"NSString"24)",         // the block is not last
           R"(v24@0:8@?<v@?@"NSString">16@?<v@?>24)",  // two blocks
           R"(v24@0:8@?<v@?@"NSString"16)",            // unclosed block
           R"(v24@0:8@"NSString16)",                   // unclosed class name
           R"(v24@0:8{S=i}16)",                        // a structure
       }) {
    EXPECT_FALSE(parseMethodSignature(encoding).has_value()) << encoding;
  }
}

TEST(MethodSignatureTest, ValuesMatchTheirKindsOnly) {
  const Value values[] = {Value(Dictionary{}), Value(Array{}), Value("s"),
                          Value(Bytes{}),      Value(1),       Value(1.5),
                          Value(true),         Value(Null{})};
  const ArgumentKind kinds[] = {
      ArgumentKind::dictionary, ArgumentKind::array, ArgumentKind::string,  ArgumentKind::data,
      ArgumentKind::integer,    ArgumentKind::real,  ArgumentKind::boolean, ArgumentKind::endpoint};
  for (std::size_t v = 0; v < std::size(values); ++v) {
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
      EXPECT_EQ(valueIsOfKind(values[v], kinds[k]), v == k && kinds[k] != ArgumentKind::endpoint)
          << v << " " << k;
    }
    const bool number =
        values[v].is<std::int64_t>() || values[v].is<double>() || values[v].is<bool>();
    EXPECT_EQ(valueIsOfKind(values[v], ArgumentKind::number), number) << v;
  }
  EXPECT_TRUE(
      argumentsMatch(std::vector<Value>{Value(Dictionary{})}, Kinds{ArgumentKind::dictionary}));
  EXPECT_FALSE(argumentsMatch(std::vector<Value>{}, Kinds{ArgumentKind::dictionary}));
}

}  // namespace
}  // namespace tarnel::linux_platform
