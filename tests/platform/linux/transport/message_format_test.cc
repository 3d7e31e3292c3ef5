#include "platform/linux/transport/message_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnel::linux_platform {
namespace {

using Kinds = std::vector<ArgumentKind>;

TEST(MessageFormatTest, ACallTravelsWhole) {
  const CallMessage call{.id = 77,
                         .selector = "runActionWith:reply:",
                         .arguments = {Value(Dictionary{{1, Dictionary{{"privileged", false}}}})}};
  const auto decoded = decodeCall(encodeCall(call));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->id, 77u);
  EXPECT_EQ(decoded->selector, call.selector);
  EXPECT_EQ(decoded->arguments, call.arguments);
}

TEST(MessageFormatTest, ARepliesArgumentsAreReadAsTheMethodDeclares) {
  const ListenerEndpoint endpoint{"/var/run/com.quorvant.TarnelX8Helper"};
  const struct {
    const char* name;
    std::vector<ReplyArgument> sent;
    Kinds kinds;
    bool accepted;
  } cases[] = {
      {"a dictionary", {Value(Dictionary{{2, ""}})}, {ArgumentKind::dictionary}, true},
      {"an endpoint", {std::optional(endpoint)}, {ArgumentKind::endpoint}, true},
      {"nil for an endpoint", {std::optional<ListenerEndpoint>()}, {ArgumentKind::endpoint}, true},
      {"endpoint, data, Boolean",
       {std::optional(endpoint), Value(Bytes{1}), Value(true)},
       {ArgumentKind::endpoint, ArgumentKind::data, ArgumentKind::boolean},
       true},
      {"an endpoint where a dictionary belongs",
       {std::optional(endpoint)},
       {ArgumentKind::dictionary},
       false},
      {"a dictionary where an endpoint belongs",
       {Value(Dictionary{})},
       {ArgumentKind::endpoint},
       false},
      {"untagged text where an endpoint belongs",
       {Value(endpoint.socketAddress)},
       {ArgumentKind::endpoint},
       false},
      // What an endpoint decodes to on the way, sent untagged, is still no endpoint.
      {"the tag's stand-in, untagged",
       {Value(Dictionary{{static_cast<std::int64_t>(kEndpointTag), endpoint.socketAddress}})},
       {ArgumentKind::endpoint},
       false},
      {"too few arguments", {}, {ArgumentKind::dictionary}, false},
      {"too many arguments",
       {Value(Dictionary{}), Value(Dictionary{})},
       {ArgumentKind::dictionary},
       false},
  };
  for (const auto& c : cases) {
    const auto decoded = decodeReply(encodeReply(5, c.sent), c.kinds);
    ASSERT_EQ(decoded.has_value(), c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_EQ(decoded->id, 5u) << c.name;
      EXPECT_EQ(decoded->arguments, c.sent) << c.name;
    }
  }
}

TEST(MessageFormatTest, AnEndpointIsItsAddressUnderTheTag) {
  const auto bytes = encodeReply(1, {std::optional(ListenerEndpoint{"/s"})});
  // {"reply": 1, "arguments": [tag(0x5458, "/s")]}
  const Bytes expected = {0xa2, 0x65, 'r', 'e', 'p', 'l',  'y',  0x01, 0x69, 'a',  'r', 'g', 'u',
                          'm',  'e',  'n', 't', 's', 0x81, 0xd9, 0x54, 0x58, 0x62, '/', 's'};
  EXPECT_EQ(bytes, expected);
}

TEST(MessageFormatTest, TheReadyFrameIsExactlyItsOneEntry) {
  const Bytes expected = {0xa1, 0x65, 'r', 'e', 'a', 'd', 'y', 0xf5};
  EXPECT_EQ(encodeReady(), expected);
  EXPECT_TRUE(isReady(expected));
  const Value others[] = {
      Value(Dictionary{{"ready", false}}),
      Value(Dictionary{{"ready", 1}}),
      Value(Dictionary{{"ready", true}, {"x", 1}}),
      Value(Dictionary{{"reply", 1}, {"arguments", Array{}}}),
      Value(true),
  };
  for (const auto& other : others) EXPECT_FALSE(isReady(encodeCbor(other)));
  EXPECT_FALSE(isReady(Bytes{0xa1, 0x65, 'r', 'e', 'a', 'd', 'y', 0xf5, 0x00}));
}

TEST(MessageFormatTest, OnlyExactlyTheKeysOfAMessageAreAMessage) {
  const Value callFields[] = {
      Value(Dictionary{{"call", 1}, {"selector", "s"}}),
      Value(Dictionary{{"call", 1}, {"selector", "s"}, {"arguments", Array{}}, {"x", 1}}),
      Value(Dictionary{{"call", "1"}, {"selector", "s"}, {"arguments", Array{}}}),
      Value(Dictionary{{"call", 1.0}, {"selector", "s"}, {"arguments", Array{}}}),
      Value(Dictionary{{"call", 1}, {"selector", Bytes{}}, {"arguments", Array{}}}),
      Value(Dictionary{{"call", 1}, {"selector", "s"}, {"arguments", Dictionary{}}}),
      Value(Dictionary{{"reply", 1}, {"arguments", Array{}}}),
      Value(Array{}),
  };
  for (const auto& fields : callFields) {
    const auto decoded = decodeCall(encodeCbor(fields));
    ASSERT_FALSE(decoded.has_value());
    EXPECT_EQ(decoded.error(), MessageError::notCall);
  }
  EXPECT_EQ(decodeCall(Bytes{0xff}).error(), MessageError::notCbor);
  // A call is no reply, nor a reply with a call's keys.
  EXPECT_EQ(decodeReply(encodeCall(CallMessage{.id = 1, .selector = "s"}), {}).error(),
            MessageError::notReply);
}

}  // namespace
}  // namespace tarnel::linux_platform
