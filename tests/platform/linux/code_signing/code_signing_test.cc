// The Linux code-signing service with real processes: peers that connect to the test, found by
// the audit token of their connection, validated through the executable they run, and refused
// when they are gone, were not started sealed, or are open to injected code.
#include "platform/linux/code_signing/code_signing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "platform/linux/posix/audit_token.h"
#include "platform/linux/posix/process_status.h"
#include "tests/support/signing/signing_fixtures.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/used_up_descriptors.h"

namespace tarnel::linux_platform {
namespace {

using support::PeerOptions;
using support::RunningPeer;
using support::TemporaryFolder;

constexpr SecCSFlags kClientFlags = 25;
constexpr uid_t kNobody = 65534;
constexpr const char* kIdentifier = "com.quorvant.TarnelX8.XPCAction";
constexpr const char* kTeamRequirement =
    "anchor apple generic and identifier com.quorvant.TarnelX8.XPCAction and certificate "
    "leaf[subject.OU] = K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"7.0\"";

Dictionary auditAttributes(const Bytes& token) {
  return Dictionary{{Value(kSecGuestAttributeAudit), Value(token)}};
}

class CodeSigningTest : public ::testing::Test {
 protected:
  CodeSigningTest() : signing_(support::anchorsFolder()) {
    EXPECT_EQ(signing_.createRequirement(kTeamRequirement, kSecCSDefaultFlags, requirement_),
              errSecSuccess);
  }

  std::string signedClient(const std::string& version = "8.0") {
    return support::signedSample(folder_.path("client"), version, kIdentifier);
  }

  // The status of validating the code behind `token` as the helper validates a client.
  OSStatus validateGuest(const Bytes& token) {
    std::unique_ptr<SecCode> guest;
    if (const auto status = signing_.copyGuestWithAttributes(auditAttributes(token), 0, guest);
        status != errSecSuccess) {
      return status;
    }
    std::unique_ptr<SecStaticCode> staticCode;
    if (const auto status = signing_.copyStaticCode(*guest, 0, staticCode);
        status != errSecSuccess) {
      return status;
    }
    return signing_.checkValidity(*staticCode, kClientFlags, *requirement_);
  }

  TemporaryFolder folder_;
  LinuxCodeSigning signing_;
  std::unique_ptr<SecRequirement> requirement_;
};

TEST_F(CodeSigningTest, CompilesRequirementsAndRefusesWhatDoesNotCompile) {
  std::unique_ptr<SecRequirement> requirement;
  EXPECT_EQ(signing_.createRequirement("info [CFBundleShortVersionString] >= 7.0", 0, requirement),
            errSecCSReqInvalid);
  EXPECT_EQ(requirement, nullptr);
  EXPECT_EQ(signing_.createRequirement("anchor apple generic", 1, requirement),
            errSecCSInvalidFlags);
  EXPECT_EQ(requirement, nullptr);
}

TEST_F(CodeSigningTest, AcceptsASignedPeerAndJudgesItsRequirement) {
  RunningPeer peer(signedClient());
  EXPECT_EQ(validateGuest(peer.auditToken()), errSecSuccess);

  RunningPeer older(support::signedSample(folder_.path("older"), "6.9", kIdentifier));
  EXPECT_EQ(validateGuest(older.auditToken()), errSecCSReqFailed);

  const auto unsignedClient = folder_.path("unsigned");
  std::filesystem::copy_file(support::sampleProgram("8.0"), unsignedClient);
  support::seal(unsignedClient);
  RunningPeer unsignedPeer(unsignedClient);
  EXPECT_EQ(validateGuest(unsignedPeer.auditToken()), errSecCSUnsigned);
}

TEST_F(CodeSigningTest, RefusesPeersOpenToInjectedCode) {
  const auto client = signedClient();
  const auto rootFolder = folder_.folder("root-only");
  const auto rootCode = folder_.file("root-only/code.so", std::string(4096, '\0'));
  const auto openFolder = folder_.folder("open");
  std::filesystem::permissions(openFolder, std::filesystem::perms::all);
  const auto openCode = folder_.file("open/code.so", std::string(4096, '\0'));
  const auto othersCode = folder_.file("root-only/others.so", std::string(4096, '\0'));
  ASSERT_EQ(::chown(othersCode.c_str(), 65534, 65534), 0);
  const auto writableCode = folder_.file("root-only/writable.so", std::string(4096, '\0'), 0666);

  struct Case {
    const char* name;
    PeerOptions options;
    OSStatus status;
  };
  const Case cases[] = {
      {"nothing injected", {}, errSecSuccess},
      {"hardened, of another user", {.user = kNobody}, errSecSuccess},
      {"made dumpable, of another user",
       {.user = kNobody, .behaviour = PeerOptions::Behaviour::dumpable},
       errSecCSGuestInvalid},
      {"root-installed code mapped", {.mappedFile = rootCode}, errSecSuccess},
      {"code in anonymous memory",
       {.behaviour = PeerOptions::Behaviour::anonymousCode},
       errSecCSGuestInvalid},
      {"traced", {.tracing = PeerOptions::Tracing::traced}, errSecCSGuestInvalid},
      {"code from a folder anyone can write", {.mappedFile = openCode}, errSecCSGuestInvalid},
      {"code owned by another user", {.mappedFile = othersCode}, errSecCSGuestInvalid},
      {"code anyone can write", {.mappedFile = writableCode}, errSecCSGuestInvalid},
  };
  for (const auto& [name, options, status] : cases) {
    SCOPED_TRACE(name);
    RunningPeer peer(client, options);
    EXPECT_EQ(validateGuest(peer.auditToken()), status);
  }
}

// Each route by which a local user could make a signed client speak for them: first shown to
// take hold of the same client installed as an ordinary program, then shown to fail against the
// sealed client, which either keeps the attack out or is refused.
TEST_F(CodeSigningTest, ASealedClientKeepsEveryRouteOfTakeoverOut) {
  const auto markers = folder_.folder("markers");
  std::filesystem::permissions(markers, std::filesystem::perms::all);
  const auto marker = markers + "/injected";
  using Start = PeerOptions::Start;
  using Took = std::function<bool(pid_t)>;
  const Took injected = [&](pid_t) { return std::filesystem::exists(marker); };
  // A process of the user opens the client's memory: it could write into it at any later time.
  const Took memoryOpened = [](pid_t pid) {
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
          ::setresuid(kNobody, kNobody, kNobody) != 0) {
        ::_exit(2);
      }
      ::_exit(::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDWR) >= 0 ? 0 : 1);
    }
    int status = -1;
    return child > 0 && ::waitpid(child, &status, 0) == child && status == 0;
  };
  const auto statusSays = [](pid_t pid, const char* key) {
    const auto status = readProcessStatus(pid);
    return status ? status->field(key).value_or("?") : "?";
  };
  const Took filtered = [&](pid_t pid) { return statusSays(pid, "Seccomp") != "0"; };
  const Took traced = [&](pid_t pid) { return statusSays(pid, "TracerPid") != "0"; };
  const Took ownNamespaces = [](pid_t pid) {
    struct stat theirs {};
    struct stat ours {};
    return ::stat(("/proc/" + std::to_string(pid) + "/ns/pid").c_str(), &theirs) == 0 &&
           ::stat("/proc/self/ns/pid", &ours) == 0 && theirs.st_ino != ours.st_ino;
  };

  const struct {
    const char* name;
    PeerOptions attack;
    Took took;
    OSStatus sealed;  // what validation of the sealed client under attack says
  } routes[] = {
      {"the loader, as a user",
       {.environment = {"LD_PRELOAD=" + support::injectedLibrary(),
                        "TARNEL_INJECTION_MARKER=" + marker},
        .user = kNobody},
       injected, errSecSuccess},
      {"a memory handle opened before the client hardens itself, as a user",
       {.user = kNobody, .behaviour = PeerOptions::Behaviour::unhardened},
       memoryOpened, errSecSuccess},
      {"a seccomp filter that says the user is root, as a user",
       {.user = kNobody, .start = Start::seccompFilter},
       filtered, errSecCSGuestInvalid},
      {"a seccomp filter, as root", {.start = Start::seccompFilter}, filtered,
       errSecCSGuestInvalid},
      {"a tracer from before the exec, as a user",
       {.tracing = PeerOptions::Tracing::tracedByItsUser, .user = kNobody},
       traced, errSecCSGuestInvalid},
      {"a tracer from the start, as root", {.tracing = PeerOptions::Tracing::traced}, traced,
       errSecCSGuestInvalid},
      {"a user and pid namespace of the user's own",
       {.user = kNobody, .start = Start::ownNamespaces},
       ownNamespaces, errSecCSGuestInvalid},
  };
  const auto ordinary = support::signedSample(folder_.path("ordinary"), "8.0", kIdentifier,
                                              support::Signer::team, support::Sealing::ordinary);
  const auto sealed = signedClient();
  for (const auto& route : routes) {
    SCOPED_TRACE(route.name);
    std::filesystem::remove(marker);
    {
      RunningPeer peer(ordinary, route.attack);
      EXPECT_TRUE(route.took(static_cast<pid_t>(AuditToken::decode(peer.auditToken())->processId)));
    }
    std::filesystem::remove(marker);
    RunningPeer peer(sealed, route.attack);
    const auto status = validateGuest(peer.auditToken());
    EXPECT_EQ(status, route.sealed);
    // Served only when the attack had no hold on the client.
    if (status == errSecSuccess) {
      EXPECT_FALSE(route.took(static_cast<pid_t>(AuditToken::decode(peer.auditToken())->processId)));
    }
  }
}

TEST_F(CodeSigningTest, RefusesEveryPeerWhenThePlatformHasNoClientGroupOrItIsNotSealed) {
  RunningPeer sealed(signedClient());
  LinuxCodeSigning withoutGroup(support::anchorsFolder(), "tarnel-absent");
  std::unique_ptr<SecCode> guest;
  EXPECT_EQ(withoutGroup.copyGuestWithAttributes(auditAttributes(sealed.auditToken()), 0, guest),
            errSecCSGuestInvalid);
  RunningPeer ordinary(support::signedSample(folder_.path("ordinary"), "8.0", kIdentifier,
                                             support::Signer::team, support::Sealing::ordinary));
  EXPECT_EQ(validateGuest(ordinary.auditToken()), errSecCSGuestInvalid);
  EXPECT_EQ(validateGuest(sealed.auditToken()), errSecSuccess);
}

TEST_F(CodeSigningTest, RefusesAPeerThatIsGoneOrIsNotTheOneTheTokenNames) {
  const auto client = signedClient();
  for (const auto reaping : {RunningPeer::Reaping::reap, RunningPeer::Reaping::leaveZombie}) {
    RunningPeer peer(client);
    peer.endConnection(reaping);
    EXPECT_EQ(validateGuest(peer.auditToken()), errSecCSNoSuchCode);
  }

  RunningPeer peer(client);
  auto token = *AuditToken::decode(peer.auditToken());
  auto otherVersion = token;
  otherVersion.processVersion += 1;
  EXPECT_EQ(validateGuest(otherVersion.encode()), errSecCSNoSuchCode);
  auto noProcess = token;
  noProcess.processId = 0;
  EXPECT_EQ(validateGuest(noProcess.encode()), errSecCSNoSuchCode);
  EXPECT_EQ(validateGuest(token.encode()), errSecSuccess);
}

TEST_F(CodeSigningTest, ReadsThePeersExecutableThroughItsOwnLinkNotItsPath) {
  const auto client = signedClient();
  RunningPeer peer(client);
  std::unique_ptr<SecCode> guest;
  ASSERT_EQ(signing_.copyGuestWithAttributes(auditAttributes(peer.auditToken()), 0, guest),
            errSecSuccess);
  // Another program put at the path changes nothing about the code that runs.
  const auto replacement = folder_.path("replacement");
  std::filesystem::copy_file(support::sampleProgram("6.9"), replacement);
  std::filesystem::rename(replacement, client);
  std::unique_ptr<SecStaticCode> staticCode;
  ASSERT_EQ(signing_.copyStaticCode(*guest, 0, staticCode), errSecSuccess);
  EXPECT_EQ(signing_.checkValidity(*staticCode, kClientFlags, *requirement_), errSecSuccess);
}

TEST_F(CodeSigningTest, RefusesGuestAttributesOtherThanOneAuditToken) {
  RunningPeer peer(signedClient());
  std::unique_ptr<SecCode> guest;
  const std::pair<Dictionary, OSStatus> cases[] = {
      {Dictionary{}, errSecCSUnsupportedGuestAttributes},
      {Dictionary{{Value("pid"), Value(static_cast<std::int64_t>(peer.pid()))}},
       errSecCSUnsupportedGuestAttributes},
      {Dictionary{{Value(kSecGuestAttributeAudit), Value(peer.auditToken())},
                  {Value("pid"), Value(1)}},
       errSecCSUnsupportedGuestAttributes},
      {auditAttributes(Bytes(peer.auditToken().begin(), peer.auditToken().end() - 1)),
       errSecCSInvalidAttributeValues},
      {Dictionary{{Value(kSecGuestAttributeAudit), Value("not bytes")}},
       errSecCSInvalidAttributeValues},
  };
  for (const auto& [attributes, status] : cases) {
    EXPECT_EQ(signing_.copyGuestWithAttributes(attributes, 0, guest), status);
    EXPECT_EQ(guest, nullptr);
  }
  EXPECT_EQ(signing_.copyGuestWithAttributes(auditAttributes(peer.auditToken()), 1, guest),
            errSecCSInvalidFlags);
}

TEST_F(CodeSigningTest, ValidatesThisProcessThroughItsOwnExecutable) {
  // Its refusal is logged: the helper refuses every connection with it, and nothing else says why.
  struct Lines : Log {
    std::vector<std::string> lines;
    void write(std::string_view line) override { lines.emplace_back(line); }
  } log;
  LinuxCodeSigning logged(support::anchorsFolder(), kClientGroup, &log);
  std::unique_ptr<SecCode> self;
  ASSERT_EQ(logged.copySelf(0, self), errSecSuccess);
  std::unique_ptr<SecStaticCode> staticCode;
  ASSERT_EQ(logged.copyStaticCode(*self, 0, staticCode), errSecSuccess);
  // The test program is not signed.
  EXPECT_EQ(logged.checkValidity(*staticCode, kClientFlags, *requirement_), errSecCSUnsigned);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_TRUE(log.lines[0].starts_with("code signing: refused this process's own code: "))
      << log.lines[0];
  EXPECT_EQ(logged.checkValidity(*staticCode, kClientFlags | 4, *requirement_),
            errSecCSInvalidFlags);
}

// Peers holding connections can use up the process's descriptors: an open of its executable made
// then fails. It is opened at start instead, and an open that failed is tried again, never kept.
TEST_F(CodeSigningTest, OpensItsOwnExecutableAtStartAndNeverKeepsAFailure) {
  std::unique_ptr<SecCode> self;
  std::optional<LinuxCodeSigning> startedOutOfDescriptors;
  {
    support::UsedUpDescriptors usedUp;
    const UniqueFd openedNow(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(openedNow);
    EXPECT_EQ(signing_.copySelf(0, self), errSecSuccess);
    startedOutOfDescriptors.emplace(support::anchorsFolder());
    EXPECT_EQ(startedOutOfDescriptors->copySelf(0, self), errSecCSStaticCodeNotFound);
  }
  EXPECT_EQ(startedOutOfDescriptors->copySelf(0, self), errSecSuccess);
}

TEST_F(CodeSigningTest, RefusesObjectsOfAnotherService) {
  class ForeignCode : public SecCode {};
  class ForeignStaticCode : public SecStaticCode {};
  class ForeignRequirement : public SecRequirement {};
  std::unique_ptr<SecStaticCode> staticCode;
  EXPECT_EQ(signing_.copyStaticCode(ForeignCode(), 0, staticCode), errSecCSInvalidObjectRef);
  EXPECT_EQ(signing_.checkValidity(ForeignStaticCode(), kClientFlags, *requirement_),
            errSecCSInvalidObjectRef);
  std::unique_ptr<SecCode> self;
  ASSERT_EQ(signing_.copySelf(0, self), errSecSuccess);
  ASSERT_EQ(signing_.copyStaticCode(*self, 0, staticCode), errSecSuccess);
  EXPECT_EQ(signing_.checkValidity(*staticCode, kClientFlags, ForeignRequirement()),
            errSecCSInvalidObjectRef);
}

}  // namespace
}  // namespace tarnel::linux_platform
