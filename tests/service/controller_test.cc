#include "service/controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

#include "model/remote_protocols.h"
#include "model/reply.h"
#include "platform/linux/transport/method_signature.h"
#include "service/process_platform.h"
#include "tests/support/fake_platform.h"

namespace tarnel {

namespace {

// The fake behind the test program's process platform.
support::FakePlatform& processFake() {
  static support::FakePlatform* const fake = new support::FakePlatform;
  return *fake;
}

}  // namespace

// The test program's process platform: Controller::shared() is made on it.
Platform& processPlatform() {
  static Platform platform = processFake().platform();
  return platform;
}

namespace {

using support::FakeConnection;
using support::FakeInterface;
using support::FakeListener;
using support::FakePlatform;

// A connection that notes what the controller's listener was when it was resumed.
class WatchedConnection : public FakeConnection {
 public:
  WatchedConnection(support::Journal& journal, Controller& controller)
      : FakeConnection(journal), controller_(controller) {}
  void resume() override {
    listenerWhenResumed = controller_.listener();
    FakeConnection::resume();
  }
  std::shared_ptr<XPCListener> listenerWhenResumed;

 private:
  Controller& controller_;
};

class ControllerTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Platform platform = fake.platform();
  ClientRequirement requirement;
  Controller controller{platform, requirement};
  std::shared_ptr<FakeListener> listener =
      std::make_shared<FakeListener>(fake.journal, "com.quorvant.TarnelX8Helper");
};

TEST_F(ControllerTest, StartsWithoutListenerAndWithTheToolPath) {
  EXPECT_EQ(controller.listener(), nullptr);
  EXPECT_EQ(controller.launchctl, "/bin/launchctl");
}

TEST_F(ControllerTest, APeerThatFailsValidationIsRefusedWithoutATrace) {
  fake.codeSigning.guestValidityStatus = -67050;
  FakeConnection connection(fake.journal);
  EXPECT_FALSE(controller.shouldAcceptNewConnection(listener, connection));
  EXPECT_EQ(connection.exportedInterface, nullptr);
  EXPECT_EQ(connection.exportedObject, nullptr);
  EXPECT_FALSE(connection.resumed);
  EXPECT_FALSE(connection.invalidated);
  EXPECT_EQ(controller.listener(), nullptr);
  EXPECT_THAT(fake.journal.entriesFrom({support::Source::connection, support::Source::log}),
              ::testing::IsEmpty());
}

TEST_F(ControllerTest, APeerWithoutAuditTokenIsRefused) {
  FakeConnection connection(fake.journal);
  connection.tokenToGive.reset();
  EXPECT_FALSE(controller.shouldAcceptNewConnection(listener, connection));
  EXPECT_FALSE(connection.resumed);
}

TEST_F(ControllerTest, AnAcceptedConnectionExportsTheSharedControllerAndIsRecordedLast) {
  WatchedConnection connection(fake.journal, controller);
  ASSERT_TRUE(controller.shouldAcceptNewConnection(listener, connection));

  const auto steps =
      fake.journal.entriesFrom({support::Source::connection, support::Source::transport});
  EXPECT_EQ(steps, (std::vector<std::string>{"interfaceWithProtocol RemoteActionType",
                                             "connection setExportedInterface",
                                             "connection setExportedObject", "connection resume"}));
  const auto* interface = dynamic_cast<const FakeInterface*>(connection.exportedInterface.get());
  ASSERT_NE(interface, nullptr);
  EXPECT_EQ(interface->protocol.name, "RemoteActionType");
  EXPECT_EQ(connection.exportedObject, &Controller::shared());
  EXPECT_EQ(connection.listenerWhenResumed, nullptr);
  EXPECT_EQ(controller.listener(), listener);

  // A later refusal changes nothing.
  fake.codeSigning.guestValidityStatus = -67050;
  FakeConnection refused(fake.journal);
  const auto other = std::make_shared<FakeListener>(fake.journal, "other");
  EXPECT_FALSE(controller.shouldAcceptNewConnection(other, refused));
  EXPECT_EQ(controller.listener(), listener);
}

TEST_F(ControllerTest, TheEndpointIsTheRecordedListenersOrNil) {
  std::vector<std::optional<ListenerEndpoint>> answers;
  auto ask = [&] {
    controller.listenerEndpointWithReply(
        [&](std::optional<ListenerEndpoint> endpoint) { answers.push_back(endpoint); });
  };
  ask();  // no listener yet
  FakeConnection connection(fake.journal);
  ASSERT_TRUE(controller.shouldAcceptNewConnection(listener, connection));
  ask();  // a listener without endpoint
  listener->endpointToGive = ListenerEndpoint{"/var/run/com.quorvant.TarnelX8Helper"};
  ask();
  EXPECT_EQ(answers, (std::vector<std::optional<ListenerEndpoint>>{
                         std::nullopt, std::nullopt,
                         ListenerEndpoint{"/var/run/com.quorvant.TarnelX8Helper"}}));
}

TEST_F(ControllerTest, CallsAreDeliveredByTheirSelector) {
  std::vector<std::vector<ReplyArgument>> replies;
  const ReplyBlock reply = [&](std::vector<ReplyArgument> arguments) {
    replies.push_back(std::move(arguments));
  };
  controller.invoke("runActionWith:reply:", {Value(Dictionary{})}, reply);
  controller.invoke("listenerEndpointWithReply:", {}, reply);
  ASSERT_EQ(replies.size(), 2u);
  // The empty request does not decode.
  EXPECT_EQ(replies[0],
            std::vector<ReplyArgument>{Value(makeCodeErrorReply(ReplyErrorCode::invalidRequest))});
  EXPECT_EQ(replies[1], std::vector<ReplyArgument>{std::optional<ListenerEndpoint>()});
}

TEST(ControllerSharedTest, FirstUsesAtOnceMakeOneController) {
  std::vector<Controller*> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &Controller::shared(); });
  for (auto& thread : threads) thread.join();
  for (auto* controller : seen) EXPECT_EQ(controller, seen.front());
  // Made on the process platform: its commands run there.
  seen.front()->runLaunchctl(LaunchctlVerb::remove, "com.example.job");
  EXPECT_EQ(
      processFake().processes.started(),
      (std::vector<std::vector<std::string>>{{"/bin/launchctl", "remove", "com.example.job"}}));
}

TEST(RemoteProtocolsTest, EveryMethodDeclaresTheKindsItCarries) {
  using linux_platform::ArgumentKind;
  using Kinds = std::vector<ArgumentKind>;
  const struct {
    const RemoteProtocol& protocol;
    const char* name;
    std::vector<std::tuple<std::string, Kinds, Kinds>> methods;  // selector, arguments, reply
  } expected[] = {
      {remoteActionType(),
       "RemoteActionType",
       {{"runActionWith:reply:", {ArgumentKind::dictionary}, {ArgumentKind::dictionary}},
        {"listenerEndpointWithReply:", {}, {ArgumentKind::endpoint}}}},
      {privilegedConnectionType(),
       "PrivilegedConnectionType",
       {{"connectWithLabel:reply:",
         {ArgumentKind::string},
         {ArgumentKind::endpoint, ArgumentKind::data, ArgumentKind::boolean}}}},
      {remoteFetchType(),
       "RemoteFetchType",
       {{"runFetchWith:reply:", {ArgumentKind::dictionary}, {ArgumentKind::dictionary}},
        {"listenerEndpointWithReply:", {}, {ArgumentKind::endpoint}}}},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(e.protocol.name, e.name);
    ASSERT_EQ(e.protocol.methods.size(), e.methods.size()) << e.name;
    for (std::size_t i = 0; i < e.methods.size(); ++i) {
      const auto& [selector, arguments, reply] = e.methods[i];
      EXPECT_EQ(e.protocol.methods[i].selector, selector);
      const auto signature =
          linux_platform::parseMethodSignature(e.protocol.methods[i].typeEncoding);
      ASSERT_TRUE(signature.has_value()) << selector;
      EXPECT_EQ(signature->arguments, arguments) << selector;
      EXPECT_EQ(signature->reply, reply) << selector;
    }
  }
}

}  // namespace
}  // namespace tarnel
