#include "platform/linux/transport/peer_pin.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/process_handle.h"
#include "platform/linux/posix/socket_holder.h"
#include "platform/linux/posix/unix_socket.h"
#include "tests/support/temporary_folder.h"

namespace tarnel::linux_platform {
namespace {

// A child that connects to `address`, reports on `report` which process holds the socket, and
// keeps it; or, with `handOver`, hands it to a child of its own that keeps it, and ends.
pid_t startConnector(const sockaddr_un& address, bool handOver, int report) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::_exit(1);
  }
  pid_t holder = ::getpid();
  if (handOver && (holder = ::fork()) == 0) {
    for (;;) ::pause();
  }
  if (::write(report, &holder, sizeof holder) != sizeof holder) ::_exit(2);
  if (handOver) ::_exit(0);
  for (;;) ::pause();
}

// A child that does nothing, under the process id `pid`, which must be free (root may choose).
pid_t startUnder(pid_t pid) {
  clone_args arguments{};
  arguments.exit_signal = SIGCHLD;
  arguments.set_tid = reinterpret_cast<std::uint64_t>(&pid);
  arguments.set_tid_size = 1;
  const long made = ::syscall(SYS_clone3, &arguments, sizeof arguments);
  if (made == 0) {
    for (;;) ::pause();
  }
  return static_cast<pid_t>(made);
}

// The children a case started, ended and reaped however the case ends.
struct Children {
  std::vector<pid_t> pids;
  ~Children() {
    for (const pid_t pid : pids) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// A connector may hand its socket to another process and end, and its process id then pass to
// another process: the id the kernel recorded at the connection names that process now, which
// never held the connection. Pinned by the id alone (the start time read now matches), the
// connection would speak for the wrong process; the pin must find the process holding the
// socket's far end, or none. Without SO_PEERPIDFD that is the only way, forced here.
TEST(PeerPinTest, PinsTheConnectorOnlyWhileItHoldsTheConnection) {
  // The holders that outlive their connector are reparented here, to be ended and reaped.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  support::TemporaryFolder folder;
  const auto path = folder.path("socket");
  const auto listener = listenAt(path);
  ASSERT_TRUE(listener.has_value());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);

  const struct {
    const char* name;
    bool handOver;
  } cases[] = {
      {"a connector that keeps its socket", false},
      {"a connector that handed its socket on and ended, its id reused", true},
  };
  for (const auto& connection : cases) {
    SCOPED_TRACE(connection.name);
    Children children;
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    const pid_t connector = startConnector(address, connection.handOver, report[1]);
    children.pids.push_back(connector);
    ::close(report[1]);
    pid_t holder = 0;
    ASSERT_EQ(::read(report[0], &holder, sizeof holder), static_cast<ssize_t>(sizeof holder));
    ::close(report[0]);
    if (connection.handOver) {
      children.pids.push_back(holder);
      ASSERT_EQ(::waitpid(connector, nullptr, 0), connector);
      ASSERT_EQ(startUnder(connector), connector) << std::strerror(errno);
    }
    const UniqueFd accepted(::accept4(listener->get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(accepted);
    // The token as a kernel without SO_PEERPIDFD gives it: the recorded id, and what /proc says
    // now of the process that has it.
    ASSERT_EQ(peerCredentials(accepted.get())->pid, connector);
    const AuditToken token{.processId = static_cast<std::uint32_t>(connector),
                           .processVersion = processVersion(connector).value_or(0)};

    if (connection.handOver) {
      // The pid-only pin: the id names a running process whose start time is the token's...
      EXPECT_TRUE(ProcessHandle::open(connector).has_value());
      EXPECT_EQ(processVersion(connector), token.processVersion);
      // ...but the connection is in another's hands.
      const auto peer = peerSocketInode(accepted.get());
      ASSERT_TRUE(peer.has_value());
      EXPECT_TRUE(processHoldsSocket(holder, *peer));
      EXPECT_FALSE(processHoldsSocket(connector, *peer));
    }
    const PeerPin pin(accepted.get(), token, PeerLookup::processHoldingThePeerSocket);
    EXPECT_EQ(pin.admits({SenderCredentials{.processId = connector}}), !connection.handOver);
  }
}

}  // namespace
}  // namespace tarnel::linux_platform
