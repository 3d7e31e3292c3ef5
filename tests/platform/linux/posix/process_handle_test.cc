#include "platform/linux/posix/process_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {
namespace {

constexpr uid_t kNobody = 65534;

// A child running as another user that does, step by step, what the test writes to it: "d" makes
// it dumpable, "n" non-dumpable, "t" starts a second thread, each answered with one byte (the
// thread's id comes through thread()); "e" calls exec, which closes its end of the answers.
class Subject {
 public:
  Subject() {
    int commands[2];
    int answers[2];
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Changing its user leaves a process non-dumpable, as a hardened client is.
      if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
          ::setresuid(kNobody, kNobody, kNobody) != 0) {
        ::_exit(1);
      }
      for (char step = 0; ::read(commands[0], &step, 1) == 1;) {
        if (step == 'e') ::execl("/bin/sleep", "sleep", "60", nullptr);
        if (step == 't') {
          std::thread([&] {
            thread_ = static_cast<pid_t>(::gettid());
            for (;;) ::pause();
          }).detach();
          while (thread_ == 0) std::this_thread::yield();
          if (::write(answers[1], &thread_, sizeof thread_) != sizeof thread_) ::_exit(4);
          continue;
        }
        if (::prctl(PR_SET_DUMPABLE, step == 'd' ? 1 : 0) != 0) ::_exit(2);
        if (::write(answers[1], &step, 1) != 1) ::_exit(3);
      }
      ::_exit(0);
    }
    ::close(commands[0]);
    ::close(answers[1]);
    commands_.reset(commands[1]);
    answers_.reset(answers[0]);
  }
  ~Subject() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, __WALL);
  }

  pid_t pid() const { return pid_; }
  // The id of the thread that step "t" started.
  pid_t startThread() {
    pid_t thread = 0;
    char command = 't';
    if (::write(commands_.get(), &command, 1) != 1 ||
        ::read(answers_.get(), &thread, sizeof thread) != sizeof thread) {
      return -1;
    }
    return thread;
  }

  // The bytes of its answer: 1 for a step done, 0 for an exec.
  ssize_t step(char command) {
    char answer = 0;
    if (::write(commands_.get(), &command, 1) != 1) return -1;
    return ::read(answers_.get(), &answer, 1);
  }

 private:
  pid_t pid_ = -1;
  static inline std::atomic<pid_t> thread_ = 0;
  UniqueFd commands_;
  UniqueFd answers_;
};

TEST(ProcessHandleTest, SeesWhatOtherProcessesOfItsUserMayDoToIt) {
  Subject subject;
  ASSERT_EQ(subject.step('n'), 1);
  const auto handle = ProcessHandle::open(subject.pid());
  ASSERT_TRUE(handle.has_value());
  EXPECT_EQ(handle->openToItsUser(), false);
  ASSERT_EQ(subject.step('d'), 1);
  EXPECT_EQ(handle->openToItsUser(), true);
  ASSERT_EQ(subject.step('n'), 1);
  EXPECT_EQ(handle->openToItsUser(), false);

  EXPECT_EQ(handle->traced(), false);
  ASSERT_EQ(::ptrace(PTRACE_SEIZE, subject.pid(), nullptr, nullptr), 0);
  EXPECT_EQ(handle->traced(), true);
  ASSERT_EQ(::ptrace(PTRACE_INTERRUPT, subject.pid(), nullptr, nullptr), 0);
  ASSERT_EQ(::waitpid(subject.pid(), nullptr, __WALL), subject.pid());
  ASSERT_EQ(::ptrace(PTRACE_DETACH, subject.pid(), nullptr, nullptr), 0);
  EXPECT_EQ(handle->traced(), false);

  // A tracer on any one thread is a tracer of the process.
  const pid_t thread = subject.startThread();
  ASSERT_GT(thread, 0);
  ASSERT_EQ(::ptrace(PTRACE_SEIZE, thread, nullptr, nullptr), 0);
  EXPECT_EQ(handle->traced(), true);
  ASSERT_EQ(::ptrace(PTRACE_INTERRUPT, thread, nullptr, nullptr), 0);
  ASSERT_EQ(::waitpid(thread, nullptr, __WALL), thread);
  ASSERT_EQ(::ptrace(PTRACE_DETACH, thread, nullptr, nullptr), 0);
}

TEST(ProcessHandleTest, AnImageHeldBeforeAnExecReadsNothingAfterIt) {
  Subject subject;
  const auto handle = ProcessHandle::open(subject.pid());
  ASSERT_TRUE(handle.has_value());
  const auto image = handle->captureImage();
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(subject.step('n'), 1);
  EXPECT_TRUE(image->unchanged());

  // The same process, by its pidfd, now runs other code: the held image says so.
  ASSERT_EQ(subject.step('e'), 0);
  EXPECT_TRUE(handle->running());
  EXPECT_FALSE(image->unchanged());
  // An exec also makes a process of another user dumpable again.
  EXPECT_EQ(handle->openToItsUser(), true);
  ASSERT_TRUE(handle->captureImage().has_value());
  EXPECT_TRUE(handle->captureImage()->unchanged());
}

TEST(ProcessHandleTest, AnEndedProcessIsNeitherRunningNorHeld) {
  auto subject = std::make_unique<Subject>();
  const auto handle = ProcessHandle::open(subject->pid());
  ASSERT_TRUE(handle.has_value());
  const auto image = handle->captureImage();
  ASSERT_TRUE(image.has_value());
  const pid_t pid = subject->pid();
  subject.reset();
  EXPECT_FALSE(handle->running());
  EXPECT_FALSE(image->unchanged());
  EXPECT_FALSE(ProcessHandle::open(pid).has_value());
}

}  // namespace
}  // namespace tarnel::linux_platform
