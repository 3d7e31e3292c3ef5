#include "platform/linux/authorization/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/wire/cbor_codec.h"

namespace tarnel::linux_platform {
namespace {

AuthorizationExternalForm someForm() {
  AuthorizationExternalForm form{};
  for (std::size_t i = 0; i < form.size(); ++i) form[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return form;
}

Bytes formBytes(std::size_t length) { return Bytes(length, 0x5a); }

Value right(Value name, Value value = Bytes{}, Value flags = 0) {
  return Dictionary{{"name", name}, {"value", value}, {"flags", flags}};
}

TEST(AuthorizationProtocolTest, EveryRequestAndReplyComesBackAsItWent) {
  const std::vector<AuthorizationRequest> requests = {
      CreateRequest{},
      CreateFromExternalFormRequest{someForm()},
      MakeExternalFormRequest{4294967295u},
      CopyRightsRequest{.reference = 1,
                        .rights = {AuthorizationItem{.name = "com.quorvant.TarnelX8"},
                                   AuthorizationItem{.name = std::string(255, 'r'),
                                                     .value = Bytes(1024, 1),
                                                     .flags = 4294967295u}},
                        .flags = 3},
      FreeRequest{.reference = 7, .flags = 8},
  };
  for (const auto& request : requests) {
    EXPECT_EQ(decodeRequest(encodeRequest(request)), request) << request.index();
  }
  const std::vector<AuthorizationReply> replies = {
      {.status = errAuthorizationSuccess},
      {.status = errAuthorizationInvalidRef},
      {.status = errAuthorizationSuccess, .reference = 12},
      {.status = errAuthorizationSuccess, .externalForm = someForm()},
      {.status = -2147483647 - 1},
  };
  for (const auto& reply : replies) EXPECT_EQ(decodeReply(encodeReply(reply)), reply);
}

TEST(AuthorizationProtocolTest, RequestsThatBreakTheFormatDecodeToNothing) {
  const std::vector<std::pair<const char*, Value>> malformed = {
      {"not a map", Array{Value("create")}},
      {"no operation", Dictionary{{"reference", 1}}},
      {"unknown operation", Dictionary{{"operation", "destroy"}}},
      {"operation not text", Dictionary{{"operation", 0}}},
      {"extra field", Dictionary{{"operation", "create"}, {"reference", 1}}},
      {"form of 31 bytes",
       Dictionary{{"operation", "createFromExternalForm"}, {"externalForm", formBytes(31)}}},
      {"form of 33 bytes",
       Dictionary{{"operation", "createFromExternalForm"}, {"externalForm", formBytes(33)}}},
      {"form as text",
       Dictionary{{"operation", "createFromExternalForm"}, {"externalForm", std::string(32, 'x')}}},
      {"reference 0", Dictionary{{"operation", "makeExternalForm"}, {"reference", 0}}},
      {"reference negative", Dictionary{{"operation", "makeExternalForm"}, {"reference", -1}}},
      {"reference too large",
       Dictionary{{"operation", "makeExternalForm"}, {"reference", 4294967296LL}}},
      {"reference as real", Dictionary{{"operation", "makeExternalForm"}, {"reference", 1.0}}},
      {"flags negative", Dictionary{{"operation", "free"}, {"reference", 1}, {"flags", -1}}},
      {"flags as Boolean", Dictionary{{"operation", "free"}, {"reference", 1}, {"flags", true}}},
      {"no rights",
       Dictionary{
           {"operation", "copyRights"}, {"reference", 1}, {"rights", Array{}}, {"flags", 3}}},
      {"17 rights", Dictionary{{"operation", "copyRights"},
                               {"reference", 1},
                               {"rights", Array(17, right("r"))},
                               {"flags", 3}}},
      {"empty name", Dictionary{{"operation", "copyRights"},
                                {"reference", 1},
                                {"rights", Array{right("")}},
                                {"flags", 3}}},
      {"name of 256 bytes", Dictionary{{"operation", "copyRights"},
                                       {"reference", 1},
                                       {"rights", Array{right(std::string(256, 'r'))}},
                                       {"flags", 3}}},
      {"name with NUL", Dictionary{{"operation", "copyRights"},
                                   {"reference", 1},
                                   {"rights", Array{right(std::string("a\0b", 3))}},
                                   {"flags", 3}}},
      {"value of 1025 bytes", Dictionary{{"operation", "copyRights"},
                                         {"reference", 1},
                                         {"rights", Array{right("r", Bytes(1025, 0))}},
                                         {"flags", 3}}},
      {"right without flags",
       Dictionary{{"operation", "copyRights"},
                  {"reference", 1},
                  {"rights", Array{Dictionary{{"name", "r"}, {"value", Bytes{}}}}},
                  {"flags", 3}}},
      {"rights nested too deep", Dictionary{{"operation", "copyRights"},
                                            {"reference", 1},
                                            {"rights", Array{right(Array{Value("r")})}},
                                            {"flags", 3}}},
  };
  for (const auto& [name, message] : malformed) {
    EXPECT_FALSE(decodeRequest(encodeCbor(message))) << name;
  }
  Bytes trailing = encodeRequest(CreateRequest{});
  trailing.push_back(0);
  EXPECT_FALSE(decodeRequest(trailing)) << "trailing byte";
}

TEST(AuthorizationProtocolTest, RepliesThatBreakTheFormatDecodeToNothing) {
  const std::vector<std::pair<const char*, Value>> malformed = {
      {"no status", Dictionary{{"reference", 1}}},
      {"status as text", Dictionary{{"status", "0"}}},
      {"status as real", Dictionary{{"status", 0.0}}},
      {"status beyond 32 bits", Dictionary{{"status", 4294967296LL}}},
      {"reference 0", Dictionary{{"status", 0}, {"reference", 0}}},
      {"form of 31 bytes", Dictionary{{"status", 0}, {"externalForm", formBytes(31)}}},
      {"unknown field", Dictionary{{"status", 0}, {"granted", true}}},
  };
  for (const auto& [name, message] : malformed) {
    EXPECT_FALSE(decodeReply(encodeCbor(message))) << name;
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
