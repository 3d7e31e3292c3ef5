// The client side of the authorization server fails closed: whatever goes wrong between it and
// the server reads as a status other than success, never as a grant.
#include "platform/linux/authorization/client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/linux/authorization/authorization.h"
#include "platform/linux/wire/cbor_codec.h"
#include "platform/linux/wire/frame_io.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

using tarnel::support::TemporaryFolder;

Bytes framed(const Bytes& payload) {
  const auto length = static_cast<std::uint32_t>(payload.size());
  // Sized once and filled in place: g++ 12 misreads an insert into a four-byte vector at -O2.
  Bytes bytes(4 + payload.size());
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
  std::copy(payload.begin(), payload.end(), bytes.begin() + 4);
  return bytes;
}

// A server that answers the first request of one client with scripted bytes, then hangs up.
class ScriptedServer {
 public:
  ScriptedServer(const std::string& path, Bytes answer) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    listening_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::bind(listening_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0 ||
        ::listen(listening_.get(), 1) != 0) {
      throw std::runtime_error("cannot listen");
    }
    thread_ = std::thread([this, answer = std::move(answer)] {
      UniqueFd client(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (client && readFrame(client.get())) {
        if (!answer.empty()) {
          EXPECT_EQ(::send(client.get(), answer.data(), answer.size(), MSG_NOSIGNAL),
                    static_cast<ssize_t>(answer.size()));
        }
      }
    });
  }
  ~ScriptedServer() { thread_.join(); }

 private:
  UniqueFd listening_;
  std::thread thread_;
};

TEST(AuthorizationClientTest, AnythingButAWellFormedReplyIsNoGrant) {
  const AuthorizationExternalForm form{};
  struct Case {
    const char* name;
    Bytes answer;
    OSStatus expected;
  };
  const Case cases[] = {
      {"no reply at all", {}, errAuthorizationInternal},
      {"a frame broken off", Bytes{0, 0, 0, 10, 0xa1, 0x66}, errAuthorizationInternal},
      {"a frame of length 0", Bytes{0, 0, 0, 0}, errAuthorizationInternal},
      {"no CBOR", framed(Bytes{0xff, 0x00}), errAuthorizationInternal},
      {"status as text", framed(encodeCbor(Dictionary{{"status", "0"}, {"reference", 1}})),
       errAuthorizationInternal},
      {"success without a reference", framed(encodeCbor(Dictionary{{"status", 0}})),
       errAuthorizationInternal},
      {"the server's refusal",
       framed(encodeReply(AuthorizationReply{.status = errAuthorizationInvalidRef})),
       errAuthorizationInvalidRef},
  };
  for (const Case& each : cases) {
    TemporaryFolder folder;
    const std::string path = folder.path("socket");
    std::unique_ptr<AuthorizationRef> reference;
    {
      ScriptedServer server(path, each.answer);
      LinuxAuthorization authorization(path);
      EXPECT_EQ(authorization.createFromExternalForm(form, reference), each.expected) << each.name;
    }
    EXPECT_FALSE(reference) << each.name;
  }
}

TEST(AuthorizationClientTest, AServerThatGoesAwayGrantsNothing) {
  TemporaryFolder folder;
  const std::string path = folder.path("socket");
  LinuxAuthorization authorization(path);
  std::unique_ptr<AuthorizationRef> reference;
  EXPECT_EQ(authorization.createFromExternalForm(AuthorizationExternalForm{}, reference),
            errAuthorizationInternal)
      << "no server";
  EXPECT_EQ(AuthorizationClient::create(path).error(), errAuthorizationInternal);

  {
    ScriptedServer server(
        path,
        framed(encodeReply(AuthorizationReply{.status = errAuthorizationSuccess, .reference = 1})));
    ASSERT_EQ(authorization.createFromExternalForm(AuthorizationExternalForm{}, reference),
              errAuthorizationSuccess);
  }
  // The server hung up after its first reply.
  EXPECT_EQ(authorization.copyRights(*reference, {AuthorizationItem{.name = "r"}}, nullptr, 3),
            errAuthorizationInternal);
  EXPECT_EQ(authorization.free(std::move(reference), 0), errAuthorizationInternal);
}

}  // namespace
}  // namespace tarnel::linux_platform
