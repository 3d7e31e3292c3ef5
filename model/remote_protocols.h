// The helper's whole remote interface: the three protocols its module declares, each method with
// its extended type encoding. Only RemoteActionType is served. Plain data, so that a client
// speaks the protocol that the service declares without carrying any of the service.
#pragma once

#include "model/remote_protocol.h"

namespace tarnel {

// runActionWith:reply: and listenerEndpointWithReply:, exported on every accepted connection.
const RemoteProtocol& remoteActionType();
// connectWithLabel:reply:; declared, never adopted, exported or called.
const RemoteProtocol& privilegedConnectionType();
// runFetchWith:reply: and listenerEndpointWithReply:; declared, never adopted, exported or called.
const RemoteProtocol& remoteFetchType();

}  // namespace tarnel
