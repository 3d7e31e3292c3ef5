// The client end of the transport, for tarnelctl and the tests: connect to a service by its name
// or to a listener endpoint, call a method and wait for its reply, or learn how the connection
// ended without one.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "model/platform_error.h"
#include "model/value.h"
#include "platform/linux/posix/unique_fd.h"
#include "platform/linux/transport/transport.h"
#include "platform/linux/wire/frame_io.h"
#include "platform/transport.h"

namespace tarnel::linux_platform {

// How a call ended without its reply.
enum class CallFailure {
  // The service refused the connection or cut it off: it closed the connection with the call
  // unread, or before the call could be written.
  invalidated,
  // The connection ended after the call was sent, with no reply: the service ended, or chose not
  // to answer.
  endedWithoutReply,
  // What came back was not the reply to this call, with arguments of the kinds the method declares.
  badReply,
  // The method's type encoding cannot be read.
  unknownMethod,
};

class ServiceClient {
 public:
  // Both first make this process hardened, as the service requires of its clients for the life of
  // a connection: non-dumpable from before it connects, so that no other process of its user can
  // attach to it or read or write its memory, and it stays so (an exec, which would undo it, ends
  // the trust of every connection anyway). The service refuses a client that is not, and cuts off
  // one that stops being so.
  static std::expected<ServiceClient, PlatformError> connectToService(
      const std::string& name, const std::string& socketDirectory = kServiceSocketDirectory);
  static std::expected<ServiceClient, PlatformError> connectToEndpoint(
      const ListenerEndpoint& endpoint);

  // Sends one call of `method` with `arguments`, as they are (the service judges their kinds), and
  // waits for its reply, however long the service takes.
  std::expected<std::vector<ReplyArgument>, CallFailure> call(const RemoteMethod& method,
                                                              std::vector<Value> arguments);

  // The same with arguments that are CBOR items already, sent byte for byte: a request that is
  // not even well-formed reaches the service as it was given.
  std::expected<std::vector<ReplyArgument>, CallFailure> callWithEncodedArguments(
      const RemoteMethod& method, const std::vector<Bytes>& encodedArguments);

  // Waits, once, for the service to take the connection: its ready frame. A call does so itself
  // before it is sent, since the service cuts off a peer that speaks before it is told it may.
  std::expected<void, CallFailure> awaitReady();

  // The connected socket, for a test that speaks the protocol by hand after awaitReady.
  int socket() const { return socket_.get(); }

 private:
  explicit ServiceClient(UniqueFd socket) : socket_(std::move(socket)), reader_(socket_.get()) {}
  // Writes the call `payload` numbered `id` and waits for its reply, of the kinds `method` says.
  std::expected<std::vector<ReplyArgument>, CallFailure> exchange(const RemoteMethod& method,
                                                                  std::uint64_t id,
                                                                  const Bytes& payload);

  UniqueFd socket_;
  FrameReader reader_;
  bool ready_ = false;
  std::uint64_t nextCallId_ = 1;
};

}  // namespace tarnel::linux_platform
