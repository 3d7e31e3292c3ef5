#include "model/remote_protocols.h"

namespace tarnel {

namespace {

constexpr const char* kDictionaryWithReply = R"(v32@0:8@"NSDictionary"16@?<v@?@"NSDictionary">24)";
constexpr const char* kEndpointReply = R"(v24@0:8@?<v@?@"NSXPCListenerEndpoint">16)";
constexpr const char* kLabelWithConnectionReply =
    R"(v32@0:8@"NSString"16@?<v@?@"NSXPCListenerEndpoint"@"NSData"B>24)";

}  // namespace

const RemoteProtocol& remoteActionType() {
  static const RemoteProtocol protocol{
      .name = "RemoteActionType",
      .methods = {{"runActionWith:reply:", kDictionaryWithReply},
                  {"listenerEndpointWithReply:", kEndpointReply}},
  };
  return protocol;
}

const RemoteProtocol& privilegedConnectionType() {
  static const RemoteProtocol protocol{
      .name = "PrivilegedConnectionType",
      .methods = {{"connectWithLabel:reply:", kLabelWithConnectionReply}},
  };
  return protocol;
}

const RemoteProtocol& remoteFetchType() {
  static const RemoteProtocol protocol{
      .name = "RemoteFetchType",
      .methods = {{"runFetchWith:reply:", kDictionaryWithReply},
                  {"listenerEndpointWithReply:", kEndpointReply}},
  };
  return protocol;
}

}  // namespace tarnel
