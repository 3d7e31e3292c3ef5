// An exec keeps a process's id, pidfd and start time. A process running unsigned code connects,
// queues a call and then executes the signed editor before the daemon judges it: the daemon
// judges the editor, yet the call was the unsigned code's. It must never run. The sealed editor is
// now refused whatever was queued, as the connection carries the credentials of the unsealed
// process that made it; the ready frame's own rule, nothing before it, is shown apart from the
// seal by the transport's tests.
#include <gtest/gtest.h>

#include <string>

#include "model/remote_protocols.h"
#include "platform/linux/transport/message_format.h"
#include "tests/load/signed_daemon.h"

namespace tarnel::support::load {
namespace {

using linux_platform::CallMessage;

Bytes deleteCall(const std::string& path) {
  const Value request(Dictionary{
      {2,
       Dictionary{
           {"privileged", false}, {"presentError", true}, {"deletePath", path}, {"label", ""}}}});
  return linux_platform::encodeCall(CallMessage{
      .id = 1, .selector = remoteActionType().methods.at(0).selector, .arguments = {request}});
}

TEST(FaultTest, ACallQueuedBeforeAnExecIntoTheSignedEditorNeverRuns) {
  SignedDaemon daemon;
  const struct {
    const char* name;
    bool queuedBeforeExec;
    std::string transcript;  // of the editor, after the exec
    bool victimKept;
  } cases[] = {
      {"queued before the exec", true, "adopted\nno ready frame\n", true},
      {"nothing queued", false, "adopted\nno ready frame\n", true},
  };
  for (const auto& c : cases) {
    const auto victim = daemon.folder().file("victim", "kept");
    // Stopped, the daemon judges the peer only after the exec, by the editor's signature.
    daemon.pause();
    Client editor(daemon, {"adopt", "3", "delete:" + victim},
                  MadeBeforeExec{.socketPath = daemon.socketPath(),
                                 .sentFirst = c.queuedBeforeExec ? deleteCall(victim) : Bytes{}});
    const auto first = editor.line();
    daemon.resume();
    EXPECT_EQ(first.value_or("") + "\n" + editor.rest(), c.transcript) << c.name;
    EXPECT_EQ(std::filesystem::exists(victim), c.victimKept) << c.name;
  }
  EXPECT_TRUE(daemon.running()) << daemon.log();
}

}  // namespace
}  // namespace tarnel::support::load
