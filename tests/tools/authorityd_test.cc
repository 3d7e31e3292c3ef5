// The authorization server as the helper and its clients meet it: a real authorityd on a socket
// of a temporary folder, creators of several users, and the helper's side of the platform.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <latch>
#include <memory>
#include <random>
#include <sstream>

#include "platform/linux/authorization/authorization.h"
#include "platform/linux/authorization/server_connection.h"
#include "platform/linux/posix/unix_socket.h"
#include "platform/linux/wire/frame_io.h"
#include "tests/tools/authorityd_harness.h"
#include "tools/authorityd/server.h"

namespace tarnel::support::authorityd {
namespace {

using linux_platform::AuthorizationClient;
using linux_platform::AuthorizationConnection;
using linux_platform::LinuxAuthorization;

constexpr AuthorizationFlags kHelperFlags =
    kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights;

// The helper's part: a reference from the form, the right asked with the helper's flags, the
// reference freed with the defaults.
OSStatus helperAsks(const Authorityd& server, const std::optional<AuthorizationExternalForm>& form,
                    const std::string& right = kRight, AuthorizationFlags flags = kHelperFlags) {
  if (!form) return errAuthorizationInternal;
  LinuxAuthorization authorization(server.socketPath());
  std::unique_ptr<AuthorizationRef> reference;
  const OSStatus created = authorization.createFromExternalForm(*form, reference);
  if (created != errAuthorizationSuccess) return created;
  const OSStatus status =
      authorization.copyRights(*reference, {AuthorizationItem{.name = right}}, nullptr, flags);
  EXPECT_EQ(authorization.free(std::move(reference), kAuthorizationFlagDefaults),
            errAuthorizationSuccess);
  return status;
}

class AuthoritydTest : public ::testing::Test {
 protected:
  TemporaryFolder folder;
};

TEST_F(AuthoritydTest, RulesDecideForRootAndForAnUnprivilegedUser) {
  Authorityd server(fs::path(folder.root()));
  struct Case {
    const char* rule;
    uid_t user;
    OSStatus expected;
  };
  const Case cases[] = {
      {"rule allow", 0, errAuthorizationSuccess}, {"rule allow", kNobody, errAuthorizationSuccess},
      {"rule deny", 0, errAuthorizationDenied},   {"rule deny", kNobody, errAuthorizationDenied},
      {"rule admin", 0, errAuthorizationSuccess}, {"rule admin", kNobody, errAuthorizationDenied},
  };
  for (const Case& each : cases) {
    server.writeRule(kRight, each.rule);
    Creator creator(server.socketPath(), each.user);
    ASSERT_TRUE(creator.form()) << each.rule;
    EXPECT_EQ(helperAsks(server, creator.form()), each.expected)
        << each.rule << " for user " << each.user;
  }
}

// A user who takes every connection it can keeps no one else out: other users and root get in.
TEST_F(AuthoritydTest, NoUserCanKeepOthersOrRootOut) {
  Authorityd server(fs::path(folder.root()));
  server.writeRule(kRight, "rule allow");
  std::vector<std::unique_ptr<Creator>> held;
  while (held.size() <= tarnel::authorityd::kMaximumConnections) {
    held.push_back(std::make_unique<Creator>(server.socketPath(), kNobody));
    if (!held.back()->form()) break;
  }
  EXPECT_EQ(held.size() - 1, tarnel::authorityd::kMaximumConnectionsPerUser);
  for (const uid_t user : {kDaemonUser, uid_t{0}}) {
    const Creator other(server.socketPath(), user);
    ASSERT_TRUE(other.form()) << "user " << user;
    EXPECT_EQ(helperAsks(server, other.form()), errAuthorizationSuccess) << "user " << user;
  }
}

TEST_F(AuthoritydTest, AdministrativeGroupsComeFromTheAccountDatabases) {
  const std::string passwd = "root:x:0:0:root:/root:/bin/sh\n";
  const std::string nobody = "nobody:x:65534:65534::/nonexistent:/usr/sbin/nologin\n";
  const std::string nobodyInAdmin = "nobody:x:65534:120::/nonexistent:/usr/sbin/nologin\n";
  struct Case {
    std::string passwdEntry;
    std::string groupEntry;
    OSStatus expected;
  };
  const Case cases[] = {
      {nobody, "sudo:x:27:daemon,nobody\n", errAuthorizationSuccess},
      {nobody, "wheel:x:10:nobody\n", errAuthorizationSuccess},
      {nobody, "admin:x:120:nobody\n", errAuthorizationSuccess},
      {nobodyInAdmin, "admin:x:120:\n", errAuthorizationSuccess},
      {nobody, "staff:x:50:nobody\n", errAuthorizationDenied},
      {nobody, "sudo:x:27:nobody2,nobod\n", errAuthorizationDenied},
  };
  for (const Case& each : cases) {
    TemporaryFolder instance;
    writeFile(fs::path(instance.root()) / "passwd", passwd + each.passwdEntry);
    writeFile(fs::path(instance.root()) / "group",
              "root:x:0:\nnogroup:x:65534:\n" + each.groupEntry);
    // The databases are replaced for the server alone, in a mount namespace of its own.
    Authorityd server(
        fs::path(instance.root()), {},
        ChildSetup{.bindMounts = {{fs::path(instance.root()) / "passwd", "/etc/passwd"},
                                  {fs::path(instance.root()) / "group", "/etc/group"}}});
    server.writeRule(kRight, "rule admin");
    Creator creator(server.socketPath(), kNobody);
    EXPECT_EQ(helperAsks(server, creator.form()), each.expected)
        << each.passwdEntry << each.groupEntry;
  }
}

TEST_F(AuthoritydTest, FormsThatNameNoLiveAuthorizationAreUnknown) {
  Authorityd server(fs::path(folder.root()));
  server.writeRule(kRight, "rule allow");

  AuthorizationExternalForm guessed{};
  std::mt19937 random(5);
  for (auto& byte : guessed) byte = static_cast<std::uint8_t>(random());
  EXPECT_EQ(helperAsks(server, guessed), errAuthorizationInvalidRef) << "never issued";

  Creator live(server.socketPath(), kNobody);
  ASSERT_TRUE(live.form());
  for (std::size_t bit = 0; bit < 8 * kAuthorizationExternalFormLength; bit += 37) {
    auto nearMiss = *live.form();
    nearMiss[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    EXPECT_EQ(helperAsks(server, nearMiss), errAuthorizationInvalidRef) << "bit " << bit;
  }
  EXPECT_EQ(helperAsks(server, live.form()), errAuthorizationSuccess) << "the form itself";

  Creator freed(server.socketPath(), kNobody, CreatorStep::freeIt);
  ASSERT_TRUE(freed.form());
  EXPECT_EQ(helperAsks(server, freed.form()), errAuthorizationInvalidRef) << "freed";

  for (const auto ending : {Creator::Ending::zombie, Creator::Ending::reaped}) {
    Creator exited(server.socketPath(), kNobody, CreatorStep::obtainRight);
    ASSERT_TRUE(exited.form());
    exited.end(ending);
    EXPECT_EQ(helperAsks(server, exited.form()), errAuthorizationInvalidRef) << "creator exited";
  }
}

TEST_F(AuthoritydTest, AReferenceHeldByTheHelperDiesWithTheCreator) {
  Authorityd server(fs::path(folder.root()));
  server.writeRule(kRight, "rule allow\ntimeout 3600");
  for (const auto ending : {Creator::Ending::zombie, Creator::Ending::reaped}) {
    Creator creator(server.socketPath(), kNobody, CreatorStep::obtainRight);
    ASSERT_TRUE(creator.form());
    LinuxAuthorization authorization(server.socketPath());
    std::unique_ptr<AuthorizationRef> reference;
    ASSERT_EQ(authorization.createFromExternalForm(*creator.form(), reference),
              errAuthorizationSuccess);

    creator.end(ending);

    EXPECT_EQ(authorization.copyRights(*reference, {AuthorizationItem{.name = kRight}}, nullptr,
                                       kHelperFlags),
              errAuthorizationInvalidRef);
    authorization.free(std::move(reference), kAuthorizationFlagDefaults);
  }
}

TEST_F(AuthoritydTest, OnlyRightsWithARuleFileOfTheirOwnAreGranted) {
  Authorityd server(fs::path(folder.root()));
  writeFile(fs::path(folder.root()) / "outside", "rule allow");
  server.writeRule(".hidden", "rule allow");
  server.writeRule("com.example.Other", "rule allow");
  Creator creator(server.socketPath(), kNobody);
  struct Case {
    const char* right;
    OSStatus expected;
  };
  const Case cases[] = {
      {kRight, errAuthorizationDenied},  // no rule file
      {"../outside", errAuthorizationDenied},
      {".hidden", errAuthorizationDenied},
      {"rules/../../outside", errAuthorizationDenied},
      {"com.example.Other", errAuthorizationSuccess},
  };
  for (const Case& each : cases) {
    EXPECT_EQ(helperAsks(server, creator.form(), each.right), each.expected) << each.right;
  }
}

// The right's name is the client's to choose, and authorityd logs it with its refusal: a newline
// in it must not start a line of its own, such as a grant that never was.
TEST_F(AuthoritydTest, ARightsNameCannotForgeALogLine) {
  const std::string forged = "authorityd: granted com.quorvant.TarnelX8 to process 1 of user 0";
  const std::string right = "x\n" + forged + "\nauthorityd: and";
  const auto hasLine = [&](const std::string& log) {
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
      if (line == forged) return true;
    }
    return false;
  };
  // Written raw, as a plain logger writes it, the refusal's line carries the forged grant.
  EXPECT_TRUE(hasLine("authorityd: refused " + right + " to process 2 of user 0: no rule\n"));

  Authorityd server(fs::path(folder.root()));
  Creator creator(server.socketPath(), kNobody);
  EXPECT_EQ(helperAsks(server, creator.form(), right), errAuthorizationDenied);
  const std::string log = server.log();
  EXPECT_NE(log.find("refused x\\x0a" + forged + "\\x0aauthorityd: and to process"),
            std::string::npos)
      << log;
  EXPECT_FALSE(hasLine(log)) << log;
}

TEST_F(AuthoritydTest, RulesAreReadOnlyWhereRootAloneCouldHaveWrittenThem) {
  struct Case {
    const char* name;
    void (*prepare)(const Authorityd&);
    OSStatus expected;
  };
  const Case cases[] = {
      {"root's, 0644", [](const Authorityd&) {}, errAuthorizationSuccess},
      {"group-writable",
       [](const Authorityd& s) { ::chmod((s.rulesFolder() / kRight).c_str(), 0664); },
       errAuthorizationDenied},
      {"world-writable",
       [](const Authorityd& s) { ::chmod((s.rulesFolder() / kRight).c_str(), 0646); },
       errAuthorizationDenied},
      {"owned by nobody",
       [](const Authorityd& s) {
         EXPECT_EQ(::chown((s.rulesFolder() / kRight).c_str(), kNobody, 0), 0);
       },
       errAuthorizationDenied},
      {"folder world-writable", [](const Authorityd& s) { ::chmod(s.rulesFolder().c_str(), 0777); },
       errAuthorizationDenied},
      {"a link to a good rule",
       [](const Authorityd& s) {
         fs::rename(s.rulesFolder() / kRight, s.rulesFolder() / "target");
         fs::create_symlink("target", s.rulesFolder() / kRight);
       },
       errAuthorizationDenied},
      {"a FIFO",
       [](const Authorityd& s) {
         fs::remove(s.rulesFolder() / kRight);
         ::mkfifo((s.rulesFolder() / kRight).c_str(), 0644);
       },
       errAuthorizationDenied},
      {"too large",
       [](const Authorityd& s) {
         writeFile(s.rulesFolder() / kRight, std::string(5000, '#') + "\nrule allow\n");
       },
       errAuthorizationDenied},
  };
  for (const Case& each : cases) {
    TemporaryFolder instance;
    Authorityd server(fs::path(instance.root()));
    server.writeRule(kRight, "rule allow");
    each.prepare(server);
    Creator creator(server.socketPath(), kNobody);
    EXPECT_EQ(helperAsks(server, creator.form()), each.expected) << each.name;
  }
}

TEST_F(AuthoritydTest, RuleTextsAreReadStrictly) {
  Authorityd server(fs::path(folder.root()));
  struct Case {
    const char* text;
    OSStatus expected;
  };
  const Case cases[] = {
      {"rule allow", errAuthorizationSuccess},
      {"# who may\n\n  rule \t allow  \r\n", errAuthorizationSuccess},
      {"timeout 0\nrule allow\n", errAuthorizationSuccess},
      {"rule allow\ntimeout 86400\n", errAuthorizationSuccess},
      {"", errAuthorizationDenied},
      {"# only a comment\n", errAuthorizationDenied},
      {"rule", errAuthorizationDenied},
      {"rule Allow", errAuthorizationDenied},
      {"rule allow deny", errAuthorizationDenied},
      {"rule allow\nrule allow", errAuthorizationDenied},
      {"rule allow\ntimeout -1", errAuthorizationDenied},
      {"rule allow\ntimeout 86401", errAuthorizationDenied},
      {"rule allow\ntimeout 5s", errAuthorizationDenied},
      {"rule allow\ntimeout 5\ntimeout 5", errAuthorizationDenied},
      {"timeout 5", errAuthorizationDenied},
      {"rule allow\nuser root", errAuthorizationDenied},
      {"allow", errAuthorizationDenied},
  };
  for (const Case& each : cases) {
    server.writeRule(kRight, each.text);
    Creator creator(server.socketPath(), kNobody);
    EXPECT_EQ(helperAsks(server, creator.form()), each.expected) << each.text;
  }
}

TEST_F(AuthoritydTest, AGrantIsKeptForTheRulesTimeAndThenTheRuleIsAskedAgain) {
  Authorityd server(fs::path(folder.root()));
  struct Case {
    const char* rule;
    std::chrono::milliseconds wait;
    OSStatus expected;
  };
  const Case cases[] = {
      {"rule allow\ntimeout 3600", std::chrono::milliseconds(0), errAuthorizationSuccess},
      {"rule allow\ntimeout 0", std::chrono::milliseconds(0), errAuthorizationDenied},
      {"rule allow\ntimeout 1", std::chrono::milliseconds(1200), errAuthorizationDenied},
  };
  for (const Case& each : cases) {
    server.writeRule(kRight, each.rule);
    Creator creator(server.socketPath(), kNobody, CreatorStep::obtainRight);
    ASSERT_TRUE(creator.form()) << each.rule;
    // From now on the rule refuses: only a grant still kept lets the helper through.
    server.writeRule(kRight, "rule deny");
    std::this_thread::sleep_for(each.wait);
    EXPECT_EQ(helperAsks(server, creator.form()), each.expected) << each.rule;
  }
}

TEST_F(AuthoritydTest, WithoutExtendingOnlyHeldRightsCount) {
  Authorityd server(fs::path(folder.root()));
  server.writeRule(kRight, "rule allow");
  Creator creator(server.socketPath(), kNobody);
  EXPECT_EQ(creator.copyRight(kRight, kAuthorizationFlagDefaults), errAuthorizationDenied);
  EXPECT_EQ(helperAsks(server, creator.form(), kRight, kAuthorizationFlagInteractionAllowed),
            errAuthorizationDenied);
  EXPECT_EQ(creator.copyRight(kRight, kAuthorizationFlagExtendRights), errAuthorizationSuccess);
  EXPECT_EQ(creator.copyRight(kRight, kAuthorizationFlagDefaults), errAuthorizationSuccess);
  EXPECT_EQ(helperAsks(server, creator.form(), kRight, kAuthorizationFlagDefaults),
            errAuthorizationSuccess);
}

TEST_F(AuthoritydTest, FreeingWithDestroyRightsTakesTheRightsFromEveryReference) {
  Authorityd server(fs::path(folder.root()));
  for (const AuthorizationFlags freeFlags :
       {kAuthorizationFlagDefaults, kAuthorizationFlagDestroyRights}) {
    server.writeRule(kRight, "rule allow\ntimeout 3600");
    Creator creator(server.socketPath(), kNobody, CreatorStep::obtainRight);
    LinuxAuthorization authorization(server.socketPath());
    std::unique_ptr<AuthorizationRef> reference;
    ASSERT_EQ(authorization.createFromExternalForm(*creator.form(), reference),
              errAuthorizationSuccess);
    server.writeRule(kRight, "rule deny");

    EXPECT_EQ(creator.free(freeFlags), errAuthorizationSuccess);
    EXPECT_EQ(creator.free(kAuthorizationFlagDefaults), errAuthorizationInvalidRef);

    EXPECT_EQ(
        authorization.copyRights(*reference, {AuthorizationItem{.name = kRight}}, nullptr,
                                 kHelperFlags),
        freeFlags == kAuthorizationFlagDefaults ? errAuthorizationSuccess : errAuthorizationDenied)
        << "freed with flags " << freeFlags;
    authorization.free(std::move(reference), kAuthorizationFlagDefaults);
  }
}

TEST_F(AuthoritydTest, WithoutPartialRightsARefusalKeepsNothingOfTheCall) {
  Authorityd server(fs::path(folder.root()));
  server.writeRule("com.example.Allowed", "rule allow");
  server.writeRule("com.example.Denied", "rule deny");
  const AuthorizationItemSet both = {AuthorizationItem{.name = "com.example.Allowed"},
                                     AuthorizationItem{.name = "com.example.Denied"}};
  const AuthorizationItemSet allowed = {AuthorizationItem{.name = "com.example.Allowed"}};
  for (const AuthorizationFlags partial :
       {kAuthorizationFlagDefaults, kAuthorizationFlagPartialRights}) {
    auto client = AuthorizationClient::create(server.socketPath());
    ASSERT_TRUE(client);
    EXPECT_EQ(client->copyRights(both, kAuthorizationFlagExtendRights | partial),
              errAuthorizationDenied);
    EXPECT_EQ(client->copyRights(allowed, kAuthorizationFlagDefaults),
              partial ? errAuthorizationSuccess : errAuthorizationDenied);
  }
}

TEST_F(AuthoritydTest, FlagsOutsideEachOperationsOwnAreRefused) {
  Authorityd server(fs::path(folder.root()));
  server.writeRule(kRight, "rule allow");
  auto client = AuthorizationClient::create(server.socketPath());
  ASSERT_TRUE(client);
  for (const AuthorizationFlags flags : {8u, 16u, 0x80000000u}) {
    EXPECT_EQ(client->copyRights({AuthorizationItem{.name = kRight}}, kHelperFlags | flags),
              errAuthorizationInvalidFlags)
        << flags;
  }
  EXPECT_EQ(client->free(kAuthorizationFlagInteractionAllowed), errAuthorizationInvalidFlags);
  EXPECT_EQ(client->free(kAuthorizationFlagDefaults), errAuthorizationSuccess);
  const auto afterFree = client->makeExternalForm();
  ASSERT_FALSE(afterFree);
  EXPECT_EQ(afterFree.error(), errAuthorizationInvalidRef);
}

TEST_F(AuthoritydTest, AConnectionThatAnotherProcessTalksOnIsCutOff) {
  Authorityd server(fs::path(folder.root()));
  // Root connects; a child that drops to nobody inherits the connection. Were it served, it could
  // create authorizations in root's name.
  auto connection = AuthorizationConnection::open(server.socketPath());
  ASSERT_TRUE(connection);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(2);
    }
    ::_exit(connection->exchange(linux_platform::CreateRequest{}).status == errAuthorizationInternal
                ? 0
                : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(connection->exchange(linux_platform::CreateRequest{}).status, errAuthorizationInternal);
}

// Clients that each send a frame as large as may be, all at once: a server that reads every frame
// as it comes holds them all side by side (an ordinary one, in a child here, measured); authorityd
// reads as many at a time as its frame budget holds.
TEST_F(AuthoritydTest, LargeFramesAllAtOnceStayWithinTheFrameBudget) {
  constexpr int kClients = 12;
  const Bytes frame = [] {
    const std::uint32_t length = linux_platform::kMaximumFrameLength;
    Bytes bytes = {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                   static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    bytes.resize(4 + length, 0xff);  // not CBOR: cut off once read whole
    return bytes;
  }();
  const auto sendAll = [&](const fs::path& path) {
    std::vector<std::thread> senders;
    for (int i = 0; i < kClients; ++i) {
      senders.emplace_back([&] {
        auto socket = linux_platform::connectTo(path.string());
        if (!socket) return;
        [[maybe_unused]] const auto sent =
            ::send(socket->get(), frame.data(), frame.size(), MSG_NOSIGNAL);
        char ignored = 0;
        while (::recv(socket->get(), &ignored, 1, 0) > 0) {
        }
      });
    }
    for (auto& sender : senders) sender.join();
  };

  const auto ordinaryPath = fs::path(folder.root()) / "ordinary.socket";
  auto listening = linux_platform::listenAt(ordinaryPath.string());
  ASSERT_TRUE(listening.has_value());
  int measured[2];
  ASSERT_EQ(::pipe2(measured, O_CLOEXEC), 0);
  const pid_t ordinary = ::fork();
  if (ordinary == 0) {
    std::vector<std::thread> readers;
    std::latch allRead(kClients);
    for (int i = 0; i < kClients; ++i) {
      pollfd waiting{.fd = listening->get(), .events = POLLIN, .revents = 0};
      ::poll(&waiting, 1, -1);
      readers.emplace_back([&, peer = ::accept4(listening->get(), nullptr, nullptr, 0)] {
        const auto read = linux_platform::readFrame(peer);
        allRead.arrive_and_wait();
        ::close(peer);
      });
    }
    for (auto& reader : readers) reader.join();
    const std::size_t peak = peakResidentKiB(::getpid());
    ::_exit(::write(measured[1], &peak, sizeof peak) == sizeof peak ? 0 : 1);
  }
  ::close(measured[1]);
  sendAll(ordinaryPath);
  std::size_t ordinaryPeak = 0;
  EXPECT_EQ(::read(measured[0], &ordinaryPeak, sizeof ordinaryPeak), sizeof ordinaryPeak);
  ::close(measured[0]);
  ::waitpid(ordinary, nullptr, 0);

  // Under AddressSanitizer, freed frames wait in its quarantine; the server measured hands them
  // back at once, as it does in any other build.
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string quarantineOff =
      std::string(sanitizer && *sanitizer ? std::string(sanitizer) + ":" : "") +
      "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
  ::setenv("ASAN_OPTIONS", quarantineOff.c_str(), 1);
  Authorityd server(fs::path(folder.root()));
  sendAll(server.socketPath());
  // Measured against the ordinary server, so that a sanitizer's own use counts on both sides.
  EXPECT_LT(peakResidentKiB(server.pid()) * 4, ordinaryPeak);
  EXPECT_TRUE(Creator(server.socketPath(), kNobody).form()) << server.log();
}

// A pkcheck that notes its arguments and exits as a file says, or does what a script says first.
class PkcheckTest : public AuthoritydTest {
 protected:
  fs::path pkcheck() const { return fs::path(folder.root()) / "pkcheck"; }
  void writePkcheck(const std::string& before, const std::string& exit) const {
    writeFile(pkcheck(),
              "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " +
                  (fs::path(folder.root()) / "arguments").string() + "\n" + before + "\n" + exit +
                  "\n",
              0755);
  }
  std::string arguments() const { return contentsOf(fs::path(folder.root()) / "arguments"); }
};

TEST_F(PkcheckTest, PolkitRulesAskPkcheckAboutTheCreatorAndTrustOnlyStatusZero) {
  TemporaryFolder serverFolder;
  Authorityd server(fs::path(serverFolder.root()), {"--pkcheck", pkcheck().string()});
  server.writeRule(kRight, "rule polkit\ntimeout 0");
  struct Case {
    const char* exit;
    OSStatus expected;
  };
  const Case cases[] = {
      {"exit 0", errAuthorizationSuccess},
      {"exit 1", errAuthorizationDenied},
      {"exit 2", errAuthorizationInteractionNotAllowed},
      {"exit 3", errAuthorizationCanceled},
      {"exit 4", errAuthorizationInternal},
      {"exit 255", errAuthorizationInternal},
      {"kill -KILL $$", errAuthorizationInternal},
  };
  for (const Case& each : cases) {
    writePkcheck("", each.exit);
    Creator creator(server.socketPath(), kNobody);
    EXPECT_EQ(helperAsks(server, creator.form()), each.expected) << each.exit;
  }

  Creator creator(server.socketPath(), kNobody);
  std::ifstream stat("/proc/" + std::to_string(creator.pid()) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::vector<std::string> field{"pid", "comm"};
  for (std::string each; fields >> each;) field.push_back(each);
  const std::string process =
      std::to_string(creator.pid()) + "," + field.at(21) + "," + std::to_string(kNobody);
  fs::remove(fs::path(folder.root()) / "arguments");
  writePkcheck("", "exit 0");
  ASSERT_EQ(helperAsks(server, creator.form(), kRight, kHelperFlags), errAuthorizationSuccess);
  ASSERT_EQ(helperAsks(server, creator.form(), kRight, kAuthorizationFlagExtendRights),
            errAuthorizationSuccess);
  EXPECT_EQ(arguments(), "--action-id com.quorvant.TarnelX8 --process " + process +
                             " --allow-user-interaction\n"
                             "--action-id com.quorvant.TarnelX8 --process " +
                             process + "\n");
}

TEST_F(PkcheckTest, APkcheckThatCannotRunRefuses) {
  Authorityd server(fs::path(folder.root()),
                    {"--pkcheck", (fs::path(folder.root()) / "missing").string()});
  server.writeRule(kRight, "rule polkit");
  Creator creator(server.socketPath(), 0);
  EXPECT_EQ(helperAsks(server, creator.form()), errAuthorizationInternal);
}

TEST_F(PkcheckTest, ACreatorThatExitsWhileItsRuleIsEvaluatedIsRefused) {
  TemporaryFolder serverFolder;
  Authorityd server(fs::path(serverFolder.root()), {"--pkcheck", pkcheck().string()});
  server.writeRule(kRight, "rule polkit");
  // polkit says yes, but only once the creator has gone: $4 is PID,START,UID.
  writePkcheck(
      "pid=${4%%,*}\nkill -KILL $pid\n"
      "while [ -e /proc/$pid ] && ! grep -q ') [ZX] ' /proc/$pid/stat; do sleep 0.01; done",
      "exit 0");
  Creator creator(server.socketPath(), kNobody);
  EXPECT_EQ(helperAsks(server, creator.form()), errAuthorizationDenied);
}

TEST_F(PkcheckTest, AGrantForARequesterThatLeftWhileItsRuleWasEvaluatedIsNotKept) {
  TemporaryFolder serverFolder;
  Authorityd server(fs::path(serverFolder.root()), {"--pkcheck", pkcheck().string()});
  server.writeRule(kRight, "rule polkit\ntimeout 3600");
  const fs::path requesterPid = fs::path(folder.root()) / "requester.pid";
  for (const bool requesterLeaves : {false, true}) {
    writePkcheck(requesterLeaves ? "pid=$(cat " + requesterPid.string() +
                                       ")\nkill -KILL $pid\n"
                                       "while [ -e /proc/$pid ] && ! grep -q ') [ZX] ' "
                                       "/proc/$pid/stat; do sleep 0.01; done"
                                 : "",
                 "exit 0");
    Creator creator(server.socketPath(), kNobody);
    ASSERT_TRUE(creator.form());
    int go[2];
    ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
    const pid_t requester = ::fork();
    ASSERT_GE(requester, 0);
    if (requester == 0) {
      char byte = 0;
      if (::read(go[0], &byte, 1) != 1) ::_exit(2);
      ::_exit(helperAsks(server, creator.form()) == errAuthorizationSuccess ? 0 : 1);
    }
    ::close(go[0]);
    writeFile(requesterPid, std::to_string(requester));
    EXPECT_EQ(::write(go[1], "g", 1), 1);
    ::close(go[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(requester, &status, 0), requester);

    EXPECT_EQ(creator.copyRight(kRight, kAuthorizationFlagDefaults),
              requesterLeaves ? errAuthorizationDenied : errAuthorizationSuccess)
        << (requesterLeaves ? "requester left" : "requester stayed");
  }
}

}  // namespace
}  // namespace tarnel::support::authorityd
