#include "platform/linux/posix/audit_token.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {
namespace {

TEST(AuditToken, EncodesEightLittleEndianWordsInThePlatformsOrder) {
  const AuditToken token{.auditUser = 0x04030201,
                         .effectiveUser = 2,
                         .effectiveGroup = 3,
                         .realUser = 4,
                         .realGroup = 5,
                         .processId = 0x00abcdef,
                         .sessionId = 7,
                         .processVersion = 0xfffffffe};
  const auto bytes = token.encode();
  ASSERT_EQ(bytes.size(), 32u);
  EXPECT_EQ((Bytes{bytes.begin(), bytes.begin() + 4}), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ((Bytes{bytes.begin() + 20, bytes.begin() + 24}), (Bytes{0xef, 0xcd, 0xab, 0x00}));
  EXPECT_EQ(AuditToken::decode(bytes), token);
  EXPECT_FALSE(AuditToken::decode(Bytes(31, 0)).has_value());
  EXPECT_FALSE(AuditToken::decode(Bytes(33, 0)).has_value());
}

TEST(AuditToken, NamesTheConnectedPeerWithItsStartTime) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  const UniqueFd left(ends[0]), right(ends[1]);
  const auto token = peerAuditToken(left.get());
  ASSERT_TRUE(token.has_value());
  EXPECT_EQ(token->processId, static_cast<std::uint32_t>(::getpid()));
  EXPECT_EQ(token->effectiveUser, ::geteuid());
  EXPECT_EQ(token->realGroup, ::getgid());
  EXPECT_EQ(token->sessionId, static_cast<std::uint32_t>(::getsid(0)));
  EXPECT_EQ(token->processVersion, processVersion(::getpid()));
}

// One byte carrying room for one descriptor: what passing a descriptor over a socket takes.
struct DescriptorMessage {
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};

  DescriptorMessage() {
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  DescriptorMessage(const DescriptorMessage&) = delete;
  DescriptorMessage& operator=(const DescriptorMessage&) = delete;
};

TEST(AuditToken, RefusesAPeerThatHasGone) {
  // The child makes a connection of its own, so that its credentials are the peer's, hands one end
  // to the parent, then exits.
  int listening[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, listening), 0);
  UniqueFd keep(listening[0]), give(listening[1]);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) ::_exit(1);
    DescriptorMessage sent;
    auto* header = CMSG_FIRSTHDR(&sent.message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &pair[0], sizeof(int));
    ::_exit(::sendmsg(give.get(), &sent.message, 0) == 1 ? 0 : 1);
  }
  DescriptorMessage received;
  ASSERT_EQ(::recvmsg(keep.get(), &received.message, MSG_CMSG_CLOEXEC), 1);
  int descriptor = -1;
  std::memcpy(&descriptor, CMSG_DATA(CMSG_FIRSTHDR(&received.message)), sizeof(int));
  const UniqueFd childsPeer(descriptor);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(peerAuditToken(childsPeer.get()).has_value());
}

}  // namespace
}  // namespace tarnel::linux_platform
