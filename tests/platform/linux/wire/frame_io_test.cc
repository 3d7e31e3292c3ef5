#include "platform/linux/wire/frame_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/linux/posix/pidfd.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {
namespace {

struct SocketPair {
  UniqueFd reader;
  UniqueFd writer;
};

SocketPair makePair() {
  int fds[2];
  EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  SocketPair pair{UniqueFd(fds[0]), UniqueFd(fds[1])};
  EXPECT_TRUE(receiveSenderCredentials(pair.reader.get()));
  return pair;
}

void writeAll(int fd, const Bytes& bytes) {
  ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
}

Bytes header(std::uint32_t length) {
  return {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
          static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
}

TEST(FrameIoTest, AFrameArrivesWholeWithItsSender) {
  auto pair = makePair();
  const Bytes payload = {0xa1, 0x02, 0x60};
  ASSERT_TRUE(writeFrame(pair.writer.get(), payload));
  const auto frame = readFrame(pair.reader.get());
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->payload, payload);
  ASSERT_EQ(frame->senders.size(), 1u);
  EXPECT_EQ(frame->senders[0].processId, ::getpid());
  EXPECT_EQ(frame->senders[0].userId, ::getuid());
  EXPECT_EQ(frame->senders[0].groupId, ::getgid());
  UniqueFd self(static_cast<int>(::syscall(SYS_pidfd_open, ::getpid(), 0)));
  ASSERT_TRUE(self.valid());
  EXPECT_EQ(frame->senders[0].processIdentity, pidfdProcessIdentity(self.get()));
}

// Read exactly, or looking ahead: a frame that ends inside a read gives the rest to the next.
TEST(FrameIoTest, FramesFollowOneAnother) {
  for (const std::size_t lookahead : {std::size_t{0}, FrameReader::kLookahead}) {
    SCOPED_TRACE(lookahead);
    auto pair = makePair();
    const Bytes big(kMaximumFrameLength, 0x5a);
    // The writer blocks once the socket buffer is full, so it runs beside the reader.
    std::thread writer([&] {
      EXPECT_TRUE(writeFrame(pair.writer.get(), Bytes{1}));
      EXPECT_TRUE(writeFrame(pair.writer.get(), big));
      EXPECT_TRUE(writeFrame(pair.writer.get(), Bytes{2, 3}));
      Bytes severalInOneWrite = header(1);
      severalInOneWrite.push_back(4);
      const auto more = header(2);
      severalInOneWrite.insert(severalInOneWrite.end(), more.begin(), more.end());
      severalInOneWrite.insert(severalInOneWrite.end(), {5, 6});
      writeAll(pair.writer.get(), severalInOneWrite);
      pair.writer.reset();
    });
    FrameReader reader(pair.reader.get(), FrameReader::Options{.lookahead = lookahead});
    std::vector<Bytes> payloads;
    for (auto frame = reader.next(); frame; frame = reader.next()) {
      payloads.push_back(frame->payload);
    }
    writer.join();
    EXPECT_EQ(payloads, (std::vector<Bytes>{{1}, big, {2, 3}, {4}, {5, 6}}));
    EXPECT_EQ(reader.next().error(), FrameReadError::endOfStream);
  }
}

TEST(FrameIoTest, ReadFailuresAreNamed) {
  const struct {
    const char* name;
    Bytes sent;
    FrameReadError error;
  } cases[] = {
      {"nothing", {}, FrameReadError::endOfStream},
      {"half a length", {0, 0}, FrameReadError::truncated},
      {"zero length", header(0), FrameReadError::badLength},
      {"one past the limit", header(kMaximumFrameLength + 1), FrameReadError::badLength},
      {"largest length", header(0xffffffff), FrameReadError::badLength},
      {"short payload",
       [] {
         auto bytes = header(3);
         bytes.push_back(1);
         return bytes;
       }(),
       FrameReadError::truncated},
  };
  for (const auto& c : cases) {
    auto pair = makePair();
    if (!c.sent.empty()) writeAll(pair.writer.get(), c.sent);
    pair.writer.reset();
    const auto frame = readFrame(pair.reader.get());
    ASSERT_FALSE(frame.has_value()) << c.name;
    EXPECT_EQ(frame.error(), c.error) << c.name;
  }
}

TEST(FrameIoTest, AFrameWrittenByTwoProcessesNamesBoth) {
  auto pair = makePair();
  writeAll(pair.writer.get(), header(2));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::uint8_t payload[] = {0xf5, 0xf4};
    ::_exit(::send(pair.writer.get(), payload, sizeof payload, MSG_NOSIGNAL) == 2 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  const auto frame = readFrame(pair.reader.get());
  ASSERT_TRUE(frame.has_value());
  ASSERT_EQ(frame->senders.size(), 2u);
  EXPECT_EQ(frame->senders[0].processId, ::getpid());
  EXPECT_EQ(frame->senders[1].processId, child);
  EXPECT_NE(frame->senders[0].processIdentity, frame->senders[1].processIdentity);
}

// Bytes read ahead keep the sender they came with: a whole frame of another process that follows
// one of this process is that process's alone.
TEST(FrameIoTest, AFrameReadAheadKeepsItsOwnSender) {
  auto pair = makePair();
  ASSERT_TRUE(writeFrame(pair.writer.get(), Bytes{1}));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(writeFrame(pair.writer.get(), Bytes{2}) ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  FrameReader reader(pair.reader.get());
  const auto first = reader.next();
  const auto second = reader.next();
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->senders.size(), 1u);
  EXPECT_EQ(first->senders[0].processId, ::getpid());
  ASSERT_EQ(second->senders.size(), 1u);
  EXPECT_EQ(second->senders[0].processId, child);
}

TEST(FrameIoTest, WithoutCredentialsTheSenderIsUnknown) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  UniqueFd reader(fds[0]), writer(fds[1]);
  ASSERT_TRUE(writeFrame(writer.get(), Bytes{1}));
  const auto frame = readFrame(reader.get());
  ASSERT_TRUE(frame.has_value());
  ASSERT_EQ(frame->senders.size(), 1u);
  EXPECT_EQ(frame->senders[0].processId, 0);
}

TEST(FrameIoTest, DescriptorsAPeerAttachesAreClosed) {
  auto pair = makePair();
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  UniqueFd pipeRead(pipeFds[0]), pipeWrite(pipeFds[1]);

  auto bytes = header(1);
  bytes.push_back(0xf6);
  iovec vector{.iov_base = bytes.data(), .iov_len = bytes.size()};
  alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int))> control{};
  msghdr message{};
  message.msg_iov = &vector;
  message.msg_iovlen = 1;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  auto* attached = CMSG_FIRSTHDR(&message);
  attached->cmsg_level = SOL_SOCKET;
  attached->cmsg_type = SCM_RIGHTS;
  attached->cmsg_len = CMSG_LEN(sizeof(int));
  const int passed = pipeWrite.get();
  std::memcpy(CMSG_DATA(attached), &passed, sizeof passed);
  ASSERT_EQ(::sendmsg(pair.writer.get(), &message, MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
  pipeWrite.reset();

  const auto frame = readFrame(pair.reader.get());
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->payload, Bytes{0xf6});
  // Every writing end is closed again, the one that travelled included.
  char byte = 0;
  EXPECT_EQ(::read(pipeRead.get(), &byte, 1), 0);
}

TEST(FrameIoTest, WritingToAGonePeerFailsQuietly) {
  auto pair = makePair();
  pair.reader.reset();
  // Without MSG_NOSIGNAL this would end the test program with SIGPIPE.
  EXPECT_FALSE(writeFrame(pair.writer.get(), Bytes(100000, 1)));
  EXPECT_FALSE(writeFrame(pair.writer.get(), Bytes{}));
  EXPECT_FALSE(writeFrame(pair.writer.get(), Bytes(kMaximumFrameLength + 1)));
}

}  // namespace
}  // namespace tarnel::linux_platform
