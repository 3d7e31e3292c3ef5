#include "tools/launchctl/job_file_reader.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/posix/full_io.h"
#include "platform/linux/posix/root_only.h"
#include "platform/linux/posix/unique_fd.h"
#include "tools/launchctl/binary_plist_size.h"
#include "tools/launchctl/launchctl_error.h"

namespace tarnel::launchctl {

namespace {

using linux_platform::UniqueFd;

struct PlistFree {
  void operator()(void* node) const { plist_free(node); }
};
using PlistOwner = std::unique_ptr<void, PlistFree>;

template <class T>
using Read = std::expected<T, LaunchctlError>;

std::unexpected<LaunchctlError> refused(LaunchctlError::Kind kind, const std::string& path,
                                        LaunchctlReason reason) {
  return std::unexpected(
      LaunchctlError{.kind = kind, .subject = path, .reason = std::move(reason)});
}

std::unexpected<LaunchctlError> unreadable(const std::string& path, LaunchctlReason reason) {
  return refused(LaunchctlError::Kind::cannotReadJobFile, path, std::move(reason));
}

std::unexpected<LaunchctlError> badValue(const std::string& path, const char* key,
                                         LaunchctlReason reason) {
  return std::unexpected(LaunchctlError{.kind = LaunchctlError::Kind::badKeyValue,
                                        .subject = path,
                                        .key = key,
                                        .reason = std::move(reason)});
}

std::unexpected<LaunchctlError> missing(const std::string& path, const char* key) {
  return std::unexpected(
      LaunchctlError{.kind = LaunchctlError::Kind::missingKey, .subject = path, .key = key});
}

Read<std::string> readBoundedFile(const std::string& path) {
  // Non-blocking so that a FIFO put in a job file's place cannot hang the tool on open.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) {
    return unreadable(path, {.kind = LaunchctlReason::Kind::systemError, .systemError = errno});
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) {
    return unreadable(path, {.kind = LaunchctlReason::Kind::systemError, .systemError = errno});
  }
  if (!S_ISREG(status.st_mode)) {
    return unreadable(path, {.kind = LaunchctlReason::Kind::notRegularFile});
  }
  const auto onlyOwner = linux_platform::checkOnlyOwnerCanWrite(
      status, linux_platform::AllowedOwner::rootOrEffectiveUser);
  if (!onlyOwner && onlyOwner.error() == linux_platform::WriteFault::otherOwner) {
    return refused(LaunchctlError::Kind::unsafeJobFile, path,
                   {.kind = LaunchctlReason::Kind::ownedByAnotherUser});
  }
  if (!onlyOwner) {
    return refused(LaunchctlError::Kind::unsafeJobFile, path,
                   {.kind = LaunchctlReason::Kind::writableByOthers});
  }
  auto contents = linux_platform::readAll(fd.get(), kMaximumJobFileSize);
  if (!contents && contents.error().kind == linux_platform::ReadAllError::Kind::tooLarge) {
    return unreadable(path, {.kind = LaunchctlReason::Kind::largerThan,
                             .number = static_cast<std::int64_t>(kMaximumJobFileSize)});
  }
  if (!contents) {
    return unreadable(path, {.kind = LaunchctlReason::Kind::systemError,
                             .systemError = contents.error().systemError});
  }
  return std::move(*contents);
}

bool hasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return true;
  }
  return false;
}

// Reads the values of one job dictionary, each refusal naming the file and the key.
class KeyReader {
 public:
  KeyReader(plist_t dictionary, const std::string& path) : dictionary_(dictionary), path_(path) {}

  Read<std::optional<std::string>> optionalString(const char* key) const {
    const plist_t node = plist_dict_get_item(dictionary_, key);
    if (node == nullptr) return std::nullopt;
    return string(node, key);
  }

  Read<std::optional<bool>> optionalBoolean(const char* key) const {
    const plist_t node = plist_dict_get_item(dictionary_, key);
    if (node == nullptr) return std::nullopt;
    if (plist_get_node_type(node) != PLIST_BOOLEAN) return wrongType(key, "a Boolean");
    std::uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
  }

  Read<std::optional<std::string>> optionalAbsolutePath(const char* key) const {
    auto value = optionalString(key);
    if (value && *value && !(*value)->starts_with('/')) {
      return badValue(path_, key, {.kind = LaunchctlReason::Kind::notAbsolutePath});
    }
    return value;
  }

  Read<std::optional<std::vector<std::string>>> optionalStringArray(const char* key) const {
    const plist_t node = plist_dict_get_item(dictionary_, key);
    if (node == nullptr) return std::nullopt;
    if (plist_get_node_type(node) != PLIST_ARRAY) return wrongType(key, "an array of strings");
    std::vector<std::string> values;
    const std::uint32_t count = plist_array_get_size(node);
    for (std::uint32_t index = 0; index < count; ++index) {
      auto value = string(plist_array_get_item(node, index), key);
      if (!value) return std::unexpected(std::move(value).error());
      values.push_back(std::move(*value));
    }
    if (values.empty()) return badValue(path_, key, {.kind = LaunchctlReason::Kind::empty});
    return values;
  }

  Read<std::map<std::string, std::string>> stringDictionary(const char* key) const {
    std::map<std::string, std::string> values;
    auto read = forEachEntry(
        key, "a dictionary of strings", [&](const std::string& name, plist_t value) -> Read<bool> {
          if (name.empty() || name.find('=') != std::string::npos) {
            return badValue(path_, key,
                            {.kind = LaunchctlReason::Kind::badVariableName, .detail = name});
          }
          auto text = string(value, key);
          if (!text) return std::unexpected(std::move(text).error());
          values.emplace(name, std::move(*text));
          return true;
        });
    if (!read) return std::unexpected(std::move(read).error());
    return values;
  }

  // MachServices: each name to true, or to a dictionary of options, none of which is read.
  Read<std::vector<std::string>> serviceNames(const char* key) const {
    std::vector<std::string> names;
    auto read = forEachEntry(
        key, "a dictionary", [&](const std::string& name, plist_t value) -> Read<bool> {
          const auto type = plist_get_node_type(value);
          if (type != PLIST_BOOLEAN && type != PLIST_DICT) {
            return wrongType(key, "a dictionary of Booleans and dictionaries");
          }
          // The name becomes a file in the socket folder and an entry of LISTEN_FDNAMES, whose
          // entries are separated by colons.
          if (name.empty() || name == "." || name == ".." ||
              name.find_first_of("/:") != std::string::npos || hasControlCharacter(name)) {
            return badValue(path_, key,
                            {.kind = LaunchctlReason::Kind::badServiceName, .detail = name});
          }
          names.push_back(name);
          return true;
        });
    if (!read) return std::unexpected(std::move(read).error());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  // Calls `visit` with each entry of the dictionary under `key`, in the file's order, until one
  // refuses; nothing to visit when the key is missing.
  template <class Visit>
  Read<bool> forEachEntry(const char* key, std::string_view expected, Visit visit) const {
    const plist_t node = plist_dict_get_item(dictionary_, key);
    if (node == nullptr) return true;
    if (plist_get_node_type(node) != PLIST_DICT) return wrongType(key, expected);
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    const std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
    for (;;) {
      char* rawName = nullptr;
      plist_t value = nullptr;
      plist_dict_next_item(node, iterator, &rawName, &value);
      const std::unique_ptr<char, decltype(&std::free)> nameOwner(rawName, &std::free);
      if (value == nullptr) return true;
      auto visited = visit(rawName == nullptr ? std::string() : std::string(rawName), value);
      if (!visited) return visited;
    }
  }

  // Text that reaches an argument vector or the file system cannot hold a NUL: it would be cut
  // short there, and run or open something other than what the file says.
  Read<std::string> string(plist_t node, const char* key) const {
    if (plist_get_node_type(node) != PLIST_STRING) return wrongType(key, "a string");
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr) return wrongType(key, "a string");
    std::string value(text, length);
    if (value.find('\0') != std::string::npos) {
      return badValue(path_, key, {.kind = LaunchctlReason::Kind::holdsNul});
    }
    return value;
  }

  // `expected` is one of the reader's fixed texts, which outlive the error.
  std::unexpected<LaunchctlError> wrongType(const char* key, std::string_view expected) const {
    return std::unexpected(LaunchctlError{.kind = LaunchctlError::Kind::wrongKeyType,
                                          .subject = path_,
                                          .key = key,
                                          .expected = expected});
  }

  plist_t dictionary_;
  const std::string& path_;
};

Read<JobDefinition> readDefinition(plist_t root, const std::string& path) {
  const KeyReader keys(root, path);
  JobDefinition job;

  auto label = keys.optionalString("Label");
  if (!label) return std::unexpected(std::move(label).error());
  if (!*label) return missing(path, "Label");
  // A label is printed one per line in the job list, and callers find a job's line by it.
  if ((*label)->empty() || hasControlCharacter(**label)) {
    return badValue(path, "Label", {.kind = LaunchctlReason::Kind::badLabel});
  }
  job.label = std::move(**label);

  auto program = keys.optionalString("Program");
  if (!program) return std::unexpected(std::move(program).error());
  auto arguments = keys.optionalStringArray("ProgramArguments");
  if (!arguments) return std::unexpected(std::move(arguments).error());
  if (!*program && !*arguments) {
    return missing(path, "Program or ProgramArguments");
  }
  if (*program && (*program)->empty()) {
    return badValue(path, "Program", {.kind = LaunchctlReason::Kind::empty});
  }
  job.arguments = *arguments ? std::move(**arguments) : std::vector<std::string>{**program};
  job.program = *program ? std::move(**program) : job.arguments.front();
  if (job.program.empty()) {
    return badValue(path, "ProgramArguments", {.kind = LaunchctlReason::Kind::emptyProgramName});
  }

  auto runAtLoad = keys.optionalBoolean("RunAtLoad");
  if (!runAtLoad) return std::unexpected(std::move(runAtLoad).error());
  job.runAtLoad = runAtLoad->value_or(false);

  auto standardOut = keys.optionalAbsolutePath("StandardOutPath");
  if (!standardOut) return std::unexpected(std::move(standardOut).error());
  job.standardOutPath = std::move(*standardOut);
  auto standardError = keys.optionalAbsolutePath("StandardErrorPath");
  if (!standardError) return std::unexpected(std::move(standardError).error());
  job.standardErrorPath = std::move(*standardError);
  auto workingDirectory = keys.optionalAbsolutePath("WorkingDirectory");
  if (!workingDirectory) return std::unexpected(std::move(workingDirectory).error());
  job.workingDirectory = std::move(*workingDirectory);

  auto environment = keys.stringDictionary("EnvironmentVariables");
  if (!environment) return std::unexpected(std::move(environment).error());
  job.environmentVariables = std::move(*environment);

  auto services = keys.serviceNames("MachServices");
  if (!services) return std::unexpected(std::move(services).error());
  job.machServices = std::move(*services);
  return job;
}

// The document in `contents`, XML or binary. libplist ends the process when it is asked for a key
// that holds a NUL character (its getters assert that a key's length is that of its C string),
// and only a binary document can give a key one. A binary document is therefore read through its
// XML form, in which libplist writes each key up to its first NUL, as its key lookups and its XML
// reader read keys anyway, and each string whole, so that a string holding a NUL is still refused
// where it is read. libplist copies an object for every reference to it, so a binary document is
// first counted as it would expand.
Read<PlistOwner> parseDocument(const std::string& contents, const std::string& path) {
  const auto notAPropertyList = std::unexpected(
      LaunchctlError{.kind = LaunchctlError::Kind::notAPropertyList, .subject = path});
  if (contents.empty()) return notAPropertyList;
  std::string_view xml = contents;
  std::unique_ptr<char, decltype(&std::free)> converted(nullptr, &std::free);
  if (plist_is_binary(contents.data(), static_cast<std::uint32_t>(contents.size()))) {
    if (!binaryPlistExpandsWithin(contents, kMaximumExpandedJobSize)) {
      return unreadable(path, {.kind = LaunchctlReason::Kind::expandsPast,
                               .number = static_cast<std::int64_t>(kMaximumExpandedJobSize)});
    }
    plist_t rawBinary = nullptr;
    plist_from_bin(contents.data(), static_cast<std::uint32_t>(contents.size()), &rawBinary);
    const PlistOwner binary(rawBinary);
    if (!binary) return notAPropertyList;
    char* text = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(binary.get(), &text, &length);
    converted.reset(text);
    if (!converted) return notAPropertyList;
    xml = std::string_view(text, length);
  }
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
  if (root == nullptr) return notAPropertyList;
  return PlistOwner(root);
}

}  // namespace

std::expected<JobDefinition, LaunchctlError> readJobFile(const std::string& path) {
  const auto contents = readBoundedFile(path);
  if (!contents) return std::unexpected(contents.error());
  auto parsed = parseDocument(*contents, path);
  if (!parsed) return std::unexpected(std::move(parsed).error());
  const PlistOwner root = std::move(*parsed);
  if (plist_get_node_type(root.get()) != PLIST_DICT) {
    return std::unexpected(
        LaunchctlError{.kind = LaunchctlError::Kind::notAJobDictionary, .subject = path});
  }
  return readDefinition(root.get(), path);
}

}  // namespace tarnel::launchctl
