#include "platform/linux/posix/full_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {
namespace {

struct Pipe {
  UniqueFd reading;
  UniqueFd writing;
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    reading.reset(ends[0]);
    writing.reset(ends[1]);
  }
};

// Interrupts the system calls of the thread that makes it, until it goes: SIGUSR1 over and over,
// with a handler installed without SA_RESTART, so a blocked read or write ends early (EINTR, or a
// short count once some bytes went through).
class SignalStorm {
 public:
  SignalStorm() : target_(::pthread_self()) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    ::sigaction(SIGUSR1, &action, &previous_);
    thread_ = std::thread([this] {
      while (!stop_) {
        ::pthread_kill(target_, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
  }
  ~SignalStorm() {
    stop_ = true;
    thread_.join();
    ::sigaction(SIGUSR1, &previous_, nullptr);
  }

 private:
  pthread_t target_;
  struct sigaction previous_ {};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string pattern(std::size_t length) {
  std::string text(length, '\0');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 23);
  return text;
}

TEST(FullIoTest, InterruptedAndShortTransfersAreCarriedThrough) {
  const std::string sent = pattern(8 * 1024 * 1024);
  {  // writing: a full pipe blocks the writer while the storm interrupts it
    Pipe pipe;
    std::string received;
    std::thread reader([&] {
      auto all = readAll(pipe.reading.get(), sent.size());
      if (all) received = std::move(*all);
    });
    {
      const SignalStorm storm;
      EXPECT_TRUE(writeAll(pipe.writing.get(), sent).has_value());
    }
    pipe.writing.reset();
    reader.join();
    EXPECT_TRUE(received == sent);
  }
  {  // reading: an empty pipe blocks the reader while the storm interrupts it
    Pipe pipe;
    std::thread writer([&] {
      for (std::size_t at = 0; at < sent.size(); at += 1024 * 1024) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        (void)writeAll(pipe.writing.get(), std::string_view(sent).substr(at, 1024 * 1024));
      }
      pipe.writing.reset();
    });
    std::expected<std::string, ReadAllError> received;
    {
      const SignalStorm storm;
      received = readAll(pipe.reading.get(), sent.size());
    }
    // A reader that gave up must not leave the writer blocked: it meets a closed pipe instead.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    pipe.reading.reset();
    writer.join();
    std::signal(SIGPIPE, previous);
    ASSERT_TRUE(received.has_value());
    EXPECT_TRUE(*received == sent);
  }
}

TEST(FullIoTest, AWholeReadStopsAtItsBound) {
  const auto fed = [](std::string_view text) {
    Pipe pipe;
    EXPECT_TRUE(writeAll(pipe.writing.get(), text).has_value());
    pipe.writing.reset();
    return std::move(pipe.reading);
  };
  EXPECT_EQ(readAll(fed("abcdef").get(), 6).value_or("refused"), "abcdef");
  const auto over = readAll(fed("abcdef").get(), 5);
  ASSERT_FALSE(over.has_value());
  EXPECT_EQ(over.error().kind, ReadAllError::Kind::tooLarge);
  EXPECT_EQ(readAll(fed("").get(), 0).value_or("refused"), "");

  // Up to the bound, the rest left for the next reader.
  const auto rest = fed("abcdef");
  EXPECT_EQ(readUpTo(rest.get(), 4).value_or("failed"), "abcd");
  EXPECT_EQ(readUpTo(rest.get(), 100).value_or("failed"), "ef");
}

TEST(FullIoTest, SendingToAGonePeerFailsWithoutSigpipe) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  UniqueFd ours(ends[0]);
  UniqueFd theirs(ends[1]);
  const std::uint8_t header[] = {0, 0, 0, 3};
  const std::uint8_t payload[] = {'a', 'b', 'c'};
  const std::span<const std::uint8_t> pieces[] = {header, {}, payload};
  ASSERT_TRUE(sendAll(ours.get(), pieces).has_value());
  char got[8] = {};
  EXPECT_EQ(::read(theirs.get(), got, sizeof got), 7);
  EXPECT_EQ(std::string(got + 4, 3), "abc");

  // The pieces are gathered on the stack: more than it holds are refused, not cut short.
  const std::span<const std::uint8_t> tooMany[kMaximumPieces + 1] = {};
  const auto refused = sendAll(ours.get(), tooMany);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error(), EINVAL);

  theirs.reset();
  const auto sent = sendAll(ours.get(), pieces);  // SIGPIPE would end the test program here
  ASSERT_FALSE(sent.has_value());
  EXPECT_EQ(sent.error(), EPIPE);
}

}  // namespace
}  // namespace tarnel::linux_platform
