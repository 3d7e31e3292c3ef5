// The built daemon itself: its embedded property lists, and a start by socket activation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "model/remote_protocols.h"
#include "platform/linux/code_signing/elf_sections.h"
#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/transport/service_client.h"
#include "tests/support/child_processes.h"
#include "tests/support/isolation.h"
#include "tests/support/temporary_folder.h"

namespace tarnel {
namespace {

using namespace linux_platform;

TEST(DaemonTest, CarriesBothPropertyListsAsSections) {
  UniqueFd executable(::open(TARNEL_DAEMON_PATH, O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(executable.valid());
  const auto size = std::filesystem::file_size(TARNEL_DAEMON_PATH);
  const auto image = readElfImage(executable.get(), size);
  ASSERT_TRUE(image.has_value()) << describe(image.error());
  const struct {
    std::string_view section;
    const char* file;
  } lists[] = {{kInfoPlistSection, "Info.plist"}, {kLaunchdPlistSection, "Launchd.plist"}};
  for (const auto& list : lists) {
    const auto contents = readElfSection(executable.get(), *image, list.section, 1 << 20);
    ASSERT_TRUE(contents.has_value() && contents->has_value()) << list.section;
    const auto expected = support::contentsOf(std::string(TARNEL_RESOURCES_DIR) + "/" + list.file);
    EXPECT_EQ(std::string((*contents)->begin(), (*contents)->end()), expected) << list.section;
  }
}

// The daemon as the service manager starts it: its socket passed as descriptor 3.
class ActivatedDaemon {
 public:
  ActivatedDaemon() {
    auto socket = listenAt(folder_.path("com.quorvant.TarnelX8Helper"));
    if (!socket) return;
    // Everything the child needs is made before the fork: after it only async-signal-safe calls.
    char listenPid[32] = "LISTEN_PID=";
    char listenFds[] = "LISTEN_FDS=1";
    char* environment[] = {listenPid, listenFds, nullptr};
    char* arguments[] = {const_cast<char*>(TARNEL_DAEMON_PATH), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (!support::passActivatedSocket(socket->get(), listenPid + 11)) ::_exit(126);
      ::execve(TARNEL_DAEMON_PATH, arguments, environment);
      ::_exit(127);
    }
    child_ = support::OwnedChild(pid);
  }
  bool started() const { return static_cast<bool>(child_); }
  bool running() const { return child_ && !support::processEnded(child_.pid()); }
  const std::string& folder() const { return folder_.root(); }

 private:
  // Declared first, so that it outlives the daemon that listens in it.
  support::TemporaryFolder folder_;
  support::OwnedChild child_;
};

TEST(DaemonTest, StartedBySocketActivationItJudgesEachClient) {
  ActivatedDaemon daemon;
  ASSERT_TRUE(daemon.started());
  // This test program is signed by nobody: the daemon takes the connection from its socket,
  // checks the signatures and refuses it without a word.
  auto client = ServiceClient::connectToService("com.quorvant.TarnelX8Helper", daemon.folder());
  ASSERT_TRUE(client.has_value());
  const auto terminate =
      Value(Dictionary{{7, Dictionary{{"privileged", false}, {"presentError", true}}}});
  const auto reply = client->call(remoteActionType().methods.front(), {terminate});
  ASSERT_FALSE(reply.has_value());
  EXPECT_EQ(reply.error(), CallFailure::invalidated);
  ASSERT_TRUE(daemon.running());
  // And it goes on serving: the next client is judged the same way.
  auto next = ServiceClient::connectToService("com.quorvant.TarnelX8Helper", daemon.folder());
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->call(remoteActionType().methods.back(), {}).error(), CallFailure::invalidated);
  EXPECT_TRUE(daemon.running());
}

}  // namespace
}  // namespace tarnel
