// Writes the seed corpus of every fuzz target: real encoded requests and replies, requirement
// texts, code directories, executables signed with a throw-away identity, job files,
// authorization messages and texts in many scripts, each made by the project's own encoders.
//   make_fuzz_seeds REPOSITORY IDENTITY
// REPOSITORY is the source tree (its resources/ are read, its fuzz/corpus/ written); IDENTITY is
// a folder made by tests/support/signing/make_signing_identity.sh, whose team signs.
#include <plist/plist.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/action.h"
#include "model/reply.h"
#include "platform/linux/authorization/protocol.h"
#include "platform/linux/code_signing/code_directory.h"
#include "platform/linux/code_signing/code_signer.h"
#include "platform/linux/transport/message_format.h"
#include "platform/linux/wire/cbor_codec.h"

namespace {

using namespace tarnel;
using namespace tarnel::linux_platform;
namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "make_fuzz_seeds: %s\n", why.c_str());
  std::exit(1);
}

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class Corpus {
 public:
  Corpus(const fs::path& root, std::string_view target) : folder_(root / target) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void add(std::string_view name, const Bytes& bytes) const {
    std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write " + (folder_ / name).string());
  }

 private:
  fs::path folder_;
};

Bytes framed(const std::vector<Bytes>& payloads) {
  Bytes stream;
  for (const auto& payload : payloads) {
    for (int shift = 24; shift >= 0; shift -= 8) stream.push_back((payload.size() >> shift) & 0xff);
    stream.insert(stream.end(), payload.begin(), payload.end());
  }
  return stream;
}

// A request of `kind` as the editor sends it: {kind: parameters}.
Dictionary request(Action::Kind kind, Dictionary parameters) {
  return Dictionary{{rawValue(kind), Value(std::move(parameters))}};
}

Dictionary flags(bool privileged) {
  Dictionary parameters{{"privileged", privileged}, {"presentError", true}};
  if (privileged) parameters.append("authData", Bytes(kAuthorizationExternalFormLength, 0xa5));
  return parameters;
}

Dictionary with(Dictionary parameters, std::initializer_list<DictionaryEntry> more) {
  for (const auto& entry : more) parameters.append(entry.key, entry.value);
  return parameters;
}

std::vector<std::pair<std::string, Dictionary>> requests() {
  using Kind = Action::Kind;
  const std::string job = "/Library/LaunchDaemons/com.example.job.plist";
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Label</key>"
      "<string>com.example.job</string><key>Program</key><string>/bin/true</string></dict>"
      "</plist>\n";
  return {
      {"save",
       request(Kind::save, with(flags(false),
                                {{"path", job}, {"string", text}, {"label", "com.example.job"}}))},
      {"save-load-privileged",
       request(Kind::saveLoad, with(flags(true), {{"path", job},
                                                  {"string", "e\xcc\x81 \xf0\x9f\x91\x8d"},
                                                  {"label", "com.example.job"}}))},
      {"delete", request(Kind::delete_,
                         with(flags(true), {{"deletePath", job}, {"label", "com.example.job"}}))},
      {"load", request(Kind::load, with(flags(false), {{"path", job}}))},
      {"remove",
       request(Kind::remove, with(flags(false), {{"path", job}, {"label", "com.example.job"}}))},
      {"test", request(Kind::test, with(flags(false), {{"testPath", "/tmp/test.plist"},
                                                       {"testOutputPath", "/tmp/test.out"},
                                                       {"string", text},
                                                       {"label", "com.example.test"}}))},
      {"uninstall", request(Kind::uninstall, flags(true))},
      // Numbers where Booleans and kinds go, as some clients send them.
      {"terminate-numbers",
       Dictionary{{7.0, Value(Dictionary{{"privileged", 0}, {"presentError", 1.0}})}}},
  };
}

void writeRequests(const fs::path& corpus) {
  const Corpus seeds(corpus, "decode_action");
  for (const auto& [name, dictionary] : requests()) seeds.add(name, encodeCbor(dictionary));
}

void writeTransportFrames(const fs::path& corpus) {
  const Corpus seeds(corpus, "transport_frames");
  std::uint64_t id = 1;
  std::vector<Bytes> calls;
  for (const auto& [name, dictionary] : requests()) {
    calls.push_back(encodeCall(
        {.id = id++, .selector = "runActionWith:reply:", .arguments = {Value(dictionary)}}));
    seeds.add("call-" + name, framed({calls.back()}));
  }
  seeds.add("calls-in-one-stream", framed({calls[3], calls[6], calls[0]}));
  seeds.add("call-endpoint",
            framed({encodeCall({.id = 0, .selector = "listenerEndpointWithReply:"})}));
  seeds.add("call-encoded-arguments",
            framed({encodeCallWithEncodedArguments(
                9, "runActionWith:reply:", std::vector<Bytes>{{0xa1, 0x00, 0xa0}})}));
  seeds.add("reply-error",
            framed({encodeReply(3, {Value(makeCodeErrorReply(ReplyErrorCode::invalidRequest))})}));
  seeds.add("reply-output", framed({encodeReply(4, {Value(outputReply("PID\tStatus\tLabel\n"))})}));
  seeds.add("reply-endpoint",
            framed({encodeReply(5, {std::optional<ListenerEndpoint>({"/var/run/tarnel.ep.1"})})}));
  seeds.add("reply-connection", framed({encodeReply(6, {std::optional<ListenerEndpoint>(),
                                                        Value(Bytes{1, 2, 3}), Value(true)})}));
}

void writeRequirements(const fs::path& corpus) {
  const Corpus seeds(corpus, "requirement");
  const std::pair<const char*, const char*> texts[] = {
      {"authorized-clients",
       "anchor apple generic and identifier \"com.quorvant.TarnelX8.XPCPrivileged\" and "
       "(certificate leaf[field.1.2.840.113635.100.6.1.9] /* exists */ or certificate "
       "1[field.1.2.840.113635.100.6.2.6] /* exists */ and certificate "
       "leaf[field.1.2.840.113635.100.6.1.13] /* exists */ and certificate leaf[subject.OU] = "
       "K3VQ8ZT2MN and info [CFBundleShortVersionString] >= \"8.0\")"},
      {"clients",
       "anchor apple generic and (identifier com.quorvant.TarnelX7 or identifier "
       "com.quorvant.TarnelX7.XPCFetch or identifier com.quorvant.Update.updater) and "
       "certificate leaf[subject.OU] = K3VQ8ZT2MN and info [CFBundleShortVersionString] >= "
       "\"7.0\""},
      {"slots",
       "cert root[subject.CN] = \"Tarnel Test Root CA\" and certificate -2[subject.O] "
       "= Tarnel* and certificate 0[extension.1.2.3.4] = *ex*"},
      {"comparisons",
       "info[CFBundleVersion] < \"9\" or info[CFBundleShortVersionString] <= "
       "\"10.0\" or info[Missing] absent and !info[CFBundleIdentifier] > z"},
      {"comments", "# the whole line\n!(false) // to the end\nand /* inside */ true"},
      {"escapes",
       "identifier = \"com.quorvant.\\\"quoted\\\\\" or identifier "
       "com.quorvant.TarnelX8.XPCPrivileged"},
  };
  for (const auto& [name, text] : texts) seeds.add(name, bytesOf(text));
}

// A small ELF executable of the class and byte order given, with a program header that covers
// it and a section for each of `sections` (name, contents) after a section-name table.
class ElfWriter {
 public:
  ElfWriter(bool wide, bool bigEndian) : wide_(wide), bigEndian_(bigEndian) {}

  Bytes write(const std::vector<std::pair<std::string, Bytes>>& sections) const {
    const std::size_t headerSize = wide_ ? 64 : 52;
    const std::size_t programSize = wide_ ? 56 : 32;
    const std::size_t sectionSize = wide_ ? 64 : 40;

    Bytes names{0};
    std::vector<std::size_t> nameOffsets;
    for (const auto& [name, contents] : sections) {
      nameOffsets.push_back(names.size());
      names.insert(names.end(), name.begin(), name.end());
      names.push_back(0);
    }
    const std::size_t namesName = names.size();
    const std::string shstrtab = ".shstrtab";
    names.insert(names.end(), shstrtab.begin(), shstrtab.end());
    names.push_back(0);

    Bytes file(headerSize + programSize, 0);
    std::vector<std::size_t> offsets;
    for (const auto& [name, contents] : sections) {
      offsets.push_back(file.size());
      file.insert(file.end(), contents.begin(), contents.end());
    }
    const std::size_t namesOffset = file.size();
    file.insert(file.end(), names.begin(), names.end());
    while (file.size() % 8 != 0) file.push_back(0);
    const std::size_t sectionTable = file.size();
    const std::size_t sectionCount = sections.size() + 2;  // the null section and the names
    file.resize(file.size() + sectionCount * sectionSize, 0);

    const std::uint8_t identification[] = {0x7f,
                                           'E',
                                           'L',
                                           'F',
                                           static_cast<std::uint8_t>(wide_ ? 2 : 1),
                                           static_cast<std::uint8_t>(bigEndian_ ? 2 : 1),
                                           1};
    std::copy(std::begin(identification), std::end(identification), file.begin());
    put(file, 16, 2, 2);                             // e_type: ET_EXEC
    put(file, 18, 2, wide_ ? 62 : 8);                // e_machine: x86-64, or MIPS for big-endian
    put(file, 20, 4, 1);                             // e_version
    put(file, wide_ ? 32 : 28, word(), headerSize);  // e_phoff
    put(file, wide_ ? 40 : 32, word(), sectionTable);
    put(file, wide_ ? 52 : 40, 2, headerSize);
    put(file, wide_ ? 54 : 42, 2, programSize);
    put(file, wide_ ? 56 : 44, 2, 1);
    put(file, wide_ ? 58 : 46, 2, sectionSize);
    put(file, wide_ ? 60 : 48, 2, sectionCount);
    put(file, wide_ ? 62 : 50, 2, sectionCount - 1);

    // One loadable segment from the start of the file to the section table.
    const std::size_t program = headerSize;
    put(file, program, 4, 1);
    put(file, program + (wide_ ? 8 : 4), word(), 0);
    put(file, program + (wide_ ? 32 : 16), word(), sectionTable);
    put(file, program + (wide_ ? 40 : 20), word(), sectionTable);

    for (std::size_t i = 0; i < sections.size(); ++i) {
      section(file, sectionTable + (i + 1) * sectionSize, nameOffsets[i], offsets[i],
              sections[i].second.size());
    }
    section(file, sectionTable + (sectionCount - 1) * sectionSize, namesName, namesOffset,
            names.size(), 3);
    return file;
  }

 private:
  std::size_t word() const { return wide_ ? 8 : 4; }

  void put(Bytes& file, std::size_t at, std::size_t width, std::uint64_t value) const {
    for (std::size_t i = 0; i < width; ++i) {
      const std::size_t index = bigEndian_ ? at + width - 1 - i : at + i;
      file[index] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  }

  // A section header: PROGBITS unless told, allocated, at `offset` in the file.
  void section(Bytes& file, std::size_t at, std::size_t name, std::size_t offset, std::size_t size,
               std::uint32_t type = 1) const {
    put(file, at, 4, name);
    put(file, at + 4, 4, type);
    put(file, at + (wide_ ? 24 : 16), word(), offset);
    put(file, at + (wide_ ? 32 : 20), word(), size);
    put(file, at + (wide_ ? 48 : 32), word(), 1);
  }

  bool wide_;
  bool bigEndian_;
};

Bytes signedCopy(const Bytes& executable, const SigningIdentity& identity,
                 const std::string& identifier, const std::optional<Bytes>& infoPlist) {
  char folder[] = "/tmp/tarnel-seeds-XXXXXX";
  if (::mkdtemp(folder) == nullptr) fail("cannot make a temporary folder");
  const fs::path file = fs::path(folder) / "program";
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(executable.data()),
              static_cast<std::streamsize>(executable.size()));
  }
  const auto signature =
      signFile(identity, {.file = file, .identifier = identifier, .infoPlist = infoPlist});
  if (!signature) fail("cannot sign a seed: " + describe(signature.error()));
  auto bytes = readFile(file);
  fs::remove_all(folder);
  return bytes;
}

void writeSignedFiles(const fs::path& corpus, const fs::path& repository,
                      const fs::path& identityFolder) {
  const auto identity =
      loadSigningIdentity(identityFolder / "team/certificate.pem", identityFolder / "team/key.pem",
                          (identityFolder / "team/chain.pem").string());
  if (!identity) fail("cannot load the signing identity: " + describe(identity.error()));
  const auto info = readFile(repository / "resources/Info.plist");
  const auto launchd = readFile(repository / "resources/Launchd.plist");
  const Bytes code = {0xf3, 0x0f, 0x1e, 0xfa, 0x31, 0xc0, 0xc3};

  const auto helper =
      ElfWriter(true, false)
          .write({{".text", code}, {"__info_plist", info}, {"__launchd_plist", launchd}});
  const auto bare = ElfWriter(false, true).write({{".text", code}});

  const Corpus seeds(corpus, "signed_file");
  seeds.add("signed-with-plists", signedCopy(helper, *identity, "com.quorvant.TarnelX8Helper", {}));
  seeds.add("signed-32-bit-big-endian",
            signedCopy(bare, *identity, "com.quorvant.TarnelX8.XPCPrivileged", {}));
  seeds.add("signed-bound-plist", signedCopy(bare, *identity, "com.quorvant.TarnelX7", info));
  seeds.add("unsigned", helper);

  const Corpus directories(corpus, "code_directory");
  CodeDirectory directory{.identifier = "com.quorvant.TarnelX8Helper", .codeLength = 4096};
  directory.codeHash.fill(0x5a);
  directories.add("without-plist", directory.encode());
  directory.infoPlist = info;
  directories.add("with-plist", directory.encode());
  // An entry of a type this version does not know, which only lenient parsing passes over.
  auto extended = directory;
  extended.infoPlist.reset();
  auto bytes = extended.encode();
  bytes[12] = 5;
  appendCodeDirectoryEntry(bytes, 9, Bytes{1, 2, 3, 4});
  directories.add("unknown-entry", bytes);
}

void writeJobFiles(const fs::path& corpus) {
  const Corpus seeds(corpus, "job_file");
  const std::string full =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
      "\t<key>Label</key>\n\t<string>com.example.full</string>\n"
      "\t<key>ProgramArguments</key>\n\t<array>\n\t\t<string>/bin/sh</string>\n"
      "\t\t<string>-c</string>\n\t\t<string>echo \"$GREETING\"</string>\n\t</array>\n"
      "\t<key>RunAtLoad</key>\n\t<true/>\n"
      "\t<key>StandardOutPath</key>\n\t<string>/tmp/full.out</string>\n"
      "\t<key>StandardErrorPath</key>\n\t<string>/tmp/full.err</string>\n"
      "\t<key>WorkingDirectory</key>\n\t<string>/tmp</string>\n"
      "\t<key>EnvironmentVariables</key>\n\t<dict>\n"
      "\t\t<key>GREETING</key>\n\t\t<string>hello</string>\n\t</dict>\n"
      "</dict>\n</plist>\n";
  seeds.add("full", bytesOf(full));
  seeds.add("program-only",
            bytesOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                    "<key>Label</key><string>com.example.one</string><key>Program</key>"
                    "<string>/bin/true</string><key>RunAtLoad</key><false/></dict></plist>\n"));
  seeds.add("program-and-arguments",
            bytesOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                    "<key>Label</key><string>com.example.two</string><key>Program</key>"
                    "<string>/usr/bin/env</string><key>ProgramArguments</key><array>"
                    "<string>env</string><string>-i</string></array></dict></plist>\n"));

  plist_t root = nullptr;
  plist_from_xml(full.data(), static_cast<std::uint32_t>(full.size()), &root);
  if (root == nullptr) fail("cannot read the job seed back");
  char* binary = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(root, &binary, &length);
  plist_free(root);
  if (binary == nullptr) fail("cannot write the binary job seed");
  seeds.add("full-binary", Bytes(binary, binary + length));
  std::free(binary);
}

void writeAuthorizationMessages(const fs::path& corpus) {
  const Corpus seeds(corpus, "authorization_messages");
  AuthorizationExternalForm form{};
  form.fill(0x3c);
  const AuthorizationItemSet rights = {
      {.name = "com.quorvant.TarnelX8", .value = {}, .flags = 0},
      {.name = "system.privilege.admin", .value = bytesOf("yes"), .flags = 1}};
  seeds.add("create", encodeRequest(CreateRequest{}));
  seeds.add("create-from-external-form", encodeRequest(CreateFromExternalFormRequest{form}));
  seeds.add("make-external-form", encodeRequest(MakeExternalFormRequest{7}));
  seeds.add("copy-rights",
            encodeRequest(CopyRightsRequest{
                .reference = 7,
                .rights = rights,
                .flags = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights}));
  seeds.add("free", encodeRequest(FreeRequest{7, kAuthorizationFlagDestroyRights}));
  seeds.add("reply-created", encodeReply(AuthorizationReply{.status = 0, .reference = 7}));
  seeds.add("reply-external-form",
            encodeReply(AuthorizationReply{.status = 0, .externalForm = form}));
  seeds.add("reply-denied", encodeReply(AuthorizationReply{.status = errAuthorizationDenied}));
}

// Texts, each also read byte by byte as a recipe for one: a job text, the scripts that the
// decoding benchmark measures, and the sequences whose code points the break rules join.
void writeGraphemeTexts(const fs::path& corpus) {
  const Corpus seeds(corpus, "grapheme_count");
  seeds.add("job-text", bytesOf("<dict>\r\n\t<key>Kommentar</key>\r\n\t<string>Nächtliche "
                                "Sicherung — 夜間バックアップ</string>\n</dict>\n"));
  seeds.add("japanese", bytesOf("毎晩、写真と書類のフォルダーを外部ディスクに保存します。"));
  seeds.add("korean", bytesOf("매일 밤 사진과 문서 폴더를 외장 디스크에 저장합니다."));
  seeds.add("russian-arabic", bytesOf("Каждую ночь сохраняет. يحفظ الصور كل ليلة."));
  seeds.add("hangul-jamo", bytesOf("\u1100\u1161\u11a8\uac00\u11a8\u1100\uac01\u1161"));
  seeds.add("combining-marks", bytesOf("e\u0301\u0327 a\u0308\u20dd \u0600\u0661 \u0915\u093f"));
  seeds.add("indic-conjuncts", bytesOf("\u0915\u094d\u0937 \u0915\u094d\u200d\u0937"));
  seeds.add("emoji", bytesOf("\U0001f468\u200d\U0001f469\u200d\U0001f467 \U0001f44d\U0001f3fd "
                             "\u2764\ufe0f \U0001f1eb\U0001f1f7\U0001f1e9"));
  Bytes palette(32);
  for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<std::uint8_t>(i);
  seeds.add("palette", palette);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) fail("usage: make_fuzz_seeds REPOSITORY IDENTITY");
  const fs::path repository = argv[1];
  const fs::path corpus = repository / "fuzz/corpus";
  writeRequests(corpus);
  writeTransportFrames(corpus);
  writeRequirements(corpus);
  writeSignedFiles(corpus, repository, argv[2]);
  writeJobFiles(corpus);
  writeAuthorizationMessages(corpus);
  writeGraphemeTexts(corpus);
  return 0;
}
