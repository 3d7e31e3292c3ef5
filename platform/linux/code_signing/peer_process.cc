#include "platform/linux/code_signing/peer_process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "platform/code_signing.h"
#include "platform/linux/posix/account_ids.h"
#include "platform/linux/posix/number_parsing.h"
#include "platform/linux/posix/process_handle.h"
#include "platform/linux/posix/root_only.h"

namespace tarnel::linux_platform {

namespace {

std::unexpected<SigningFailure> gone(std::string reason) {
  return std::unexpected(SigningFailure{errSecCSNoSuchCode, std::move(reason)});
}
std::unexpected<SigningFailure> unsafe(std::string reason) {
  return std::unexpected(SigningFailure{errSecCSGuestInvalid, std::move(reason)});
}

struct FileIdentity {
  unsigned int major = 0;
  unsigned int minor = 0;
  ino_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

FileIdentity identityOf(const struct stat& status) {
  return {::major(status.st_dev), ::minor(status.st_dev), status.st_ino};
}

struct Mapping {
  bool executable = false;
  FileIdentity file;
  std::string path;  // empty for anonymous memory
};

// One line of /proc/PID/maps: "start-end perms offset major:minor inode   path".
std::optional<Mapping> parseMapping(std::string_view line) {
  std::string_view fields[5];
  for (auto& field : fields) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    line.remove_prefix(start);
    const auto end = std::min(line.find(' '), line.size());
    field = line.substr(0, end);
    line.remove_prefix(end);
  }
  Mapping mapping;
  mapping.executable = fields[1].size() == 4 && fields[1][2] == 'x';
  const auto colon = fields[3].find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto major = parseNumber<unsigned int>(fields[3].substr(0, colon), 16);
  const auto minor = parseNumber<unsigned int>(fields[3].substr(colon + 1), 16);
  const auto inode = parseNumber<ino_t>(fields[4]);
  if (!major || !minor || !inode) return std::nullopt;
  mapping.file = {*major, *minor, *inode};
  const auto path = line.find_first_not_of(' ');
  if (path != std::string_view::npos) mapping.path = line.substr(path);
  return mapping;
}

// A mapped file that no one but root can have put there: the path still names the mapped file,
// which is owned by root and writable by no one else, in a folder of the same kind.
bool isRootInstalled(const Mapping& mapping) {
  struct stat file {};
  if (::stat(mapping.path.c_str(), &file) != 0 || !S_ISREG(file.st_mode) ||
      identityOf(file) != mapping.file || !checkOnlyOwnerCanWrite(file)) {
    return false;
  }
  const auto slash = mapping.path.rfind('/');
  const std::string folder = slash == 0 ? "/" : mapping.path.substr(0, slash);
  struct stat parent {};
  return ::stat(folder.c_str(), &parent) == 0 && S_ISDIR(parent.st_mode) &&
         checkOnlyOwnerCanWrite(parent).has_value();
}

// The buffer that getline grows; freed with free, as getline allocates it.
struct LineBuffer {
  char* data = nullptr;
  std::size_t capacity = 0;
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { std::free(data); }
};

std::expected<void, SigningFailure> checkMappings(const std::string& proc, int executable) {
  struct stat own {};
  if (::fstat(executable, &own) != 0) return gone("cannot read the executable of the process");
  std::set<FileIdentity> trusted{identityOf(own)};

  const std::unique_ptr<FILE, decltype(&std::fclose)> maps(
      std::fopen((proc + "/maps").c_str(), "re"), &std::fclose);
  if (!maps) return gone("cannot read the mappings of the process");
  // The kernel bounds each line (a path is at most PATH_MAX), so the line buffer stays small.
  LineBuffer buffer;
  ssize_t length = 0;
  while ((length = ::getline(&buffer.data, &buffer.capacity, maps.get())) > 0) {
    std::string_view line(buffer.data, static_cast<std::size_t>(length));
    if (line.ends_with('\n')) line.remove_suffix(1);
    const auto mapping = parseMapping(line);
    if (!mapping) return unsafe("cannot read the mappings of the process");
    if (!mapping->executable) continue;
    // Code written into memory at run time: no loader and no file put it there.
    if (mapping->path.empty()) return unsafe("the process runs code from anonymous memory");
    // The kernel's own pages ([vdso], [vsyscall]).
    if (mapping->path.starts_with('[')) continue;
    if (trusted.contains(mapping->file)) continue;
    if (!mapping->path.starts_with('/') || !isRootInstalled(*mapping)) {
      return unsafe("the process runs code from " + mapping->path);
    }
    trusted.insert(mapping->file);
  }
  if (std::ferror(maps.get())) return gone("cannot read the mappings of the process");
  return {};
}

}  // namespace

std::expected<UniqueFd, SigningFailure> openPeerExecutable(const AuditToken& token,
                                                           const std::string& clientGroup) {
  if (token.processId == 0 || token.processId > INT_MAX) return gone("no process has this token");
  const auto pid = static_cast<pid_t>(token.processId);
  // While the handle's pidfd is held and the process has not been reaped, its id names it and no
  // other; the last step below confirms that this held for everything read in between.
  const auto process = ProcessHandle::open(pid);
  if (!process) return gone("the process has gone");
  // No version for a process that has exited, even one that still awaits its parent.
  if (processVersion(pid) != token.processVersion) {
    return gone("the process has exited, or its id now names another process");
  }
  const auto cannotTell = [&](const char* what) {
    return process->running() ? unsafe(std::string("cannot tell whether ") + what)
                              : gone("the process has gone");
  };

  // The sealed start: only the kernel's own set-group-id exec gives the platform's group, and it
  // withholds it from a traced exec and from one under no_new_privs (which a seccomp filter
  // needs); a user namespace cannot map it.
  const auto group = groupIdNamed(clientGroup);
  if (!group) return unsafe("the platform has no group " + clientGroup + ": no client is sealed");
  if (token.effectiveGroup != *group) {
    return unsafe("the process was not started sealed: its group is not " + clientGroup);
  }
  const auto secure = process->startedSecurely();
  if (!secure) return cannotTell("the process was started in secure execution");
  if (!*secure) return unsafe("the process was not started in secure execution");
  const auto ours = process->sharesOurNamespaces();
  if (!ours) return cannotTell("the process shares our namespaces");
  if (!*ours) return unsafe("the process lives in a user or pid namespace of its own");
  const auto filtered = process->filtered();
  if (!filtered) return cannotTell("the process has a seccomp filter");
  if (*filtered) return unsafe("the process runs under a seccomp filter");
  const auto traced = process->traced();
  if (!traced) return cannotTell("the process is traced");
  if (*traced) return unsafe("the process is being traced");
  const auto open = process->openToItsUser();
  if (!open) return cannotTell("other processes may attach to the process");
  if (*open) return unsafe("the process is dumpable: other processes of its user may attach to it");

  const std::string proc = "/proc/" + std::to_string(pid);
  UniqueFd executable(::open((proc + "/exe").c_str(), O_RDONLY | O_CLOEXEC));
  if (!executable) return gone("cannot open the executable of the process");
  if (auto mappings = checkMappings(proc, executable.get()); !mappings) {
    return std::unexpected(mappings.error());
  }
  if (!process->running()) return gone("the process has gone");
  return executable;
}

}  // namespace tarnel::linux_platform
