#include "tools/tarnelctl/helper_install.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/linux/posix/program_run.h"
#include "tools/tarnelctl/helper_version.h"

namespace tarnel::tarnelctl {

namespace {

using linux_platform::ChildStream;

// Where the package installs tarnelctl, should this process's own executable not be found.
constexpr const char* kInstalledTarnelctl = "/usr/bin/tarnelctl";

// More than codesign's description of any executable (its property list is at most 1 MiB).
constexpr std::size_t kMaximumOutput = 2 * 1024 * 1024;

// codesign's errors are dropped: only its description is read.
std::optional<std::string> versionOf(const HelperInstallPaths& paths, const std::string& helper) {
  const auto run =
      linux_platform::runCapturingOutput(paths.codesign, {paths.codesign, "--display", helper},
                                         {.errors = ChildStream::nullDevice()}, kMaximumOutput);
  if (!run || linux_platform::exitStatusOf(run->waitStatus) != 0) return std::nullopt;
  return bundleVersionIn(run->output);
}

// The application that asks for the helper: this very executable, which helperinstall checks
// against the helper's authorized clients.
std::string thisExecutable() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return kInstalledTarnelctl;
  return std::string(path, static_cast<std::size_t>(length));
}

std::string previously(const HelperVersions& versions) {
  if (!versions.installed) return "none was installed";
  if (!versions.installedVersion) return "the installed one's version could not be read";
  return "it was version " + *versions.installedVersion;
}

}  // namespace

std::optional<Report> reportIfCurrent(Format format, const HelperInstallPaths& paths,
                                      const HelperVersions& versions) {
  if (!versions.installedVersion) return std::nullopt;
  const auto order = compareVersions(*versions.installedVersion, versions.carried);
  if (order < 0) return std::nullopt;
  return reportDone(format,
                    "the helper installed at " + paths.installed + " is version " +
                        *versions.installedVersion +
                        (order == 0 ? ", the one carried"
                                    : ", newer than the one carried (" + versions.carried + ")") +
                        ": nothing to do",
                    Dictionary{{"outcome", "current"},
                               {"installed", *versions.installedVersion},
                               {"carried", versions.carried}});
}

Report reportInstall(Format format, const HelperInstallPaths& paths, const HelperVersions& versions,
                     std::optional<int> exitStatus) {
  if (exitStatus == 0) {
    return reportDone(
        format,
        "installed the helper version " + versions.carried + " at " + paths.installed + " (" +
            previously(versions) + ")",
        Dictionary{
            {"outcome", "installed"},
            {"installed", versions.carried},
            {"previous", versions.installedVersion ? Value(*versions.installedVersion) : Value()}});
  }
  return reportFailure(
      format,
      Failure{.what = exitStatus ? "helperinstall did not install the helper (exit status " +
                                       std::to_string(*exitStatus) + ")"
                                 : "helperinstall could not be run as " + paths.helperinstall,
              .explanation = StatusExplanation{
                  .meaning = "what helperinstall said, above, tells which step refused",
                  .check = "an administrator's authorization; the maker's root certificate in "
                           "/etc/tarnel/anchors, which the helper's signature needs; that this "
                           "tarnelctl is the signed one the package installed"}});
}

Report installHelper(Format format, const HelperInstallPaths& paths) {
  HelperVersions versions;
  const auto carried = versionOf(paths, paths.carried);
  if (!carried) {
    return reportFailure(
        format,
        Failure{
            .what = "cannot read the version of the helper carried at " + paths.carried,
            .explanation = StatusExplanation{
                .meaning = "codesign --display shows no CFBundleVersion there",
                .check = "that the package is installed whole: dpkg --verify tarnelx8-helper"}});
  }
  versions.carried = *carried;
  struct stat status {};
  versions.installed = ::lstat(paths.installed.c_str(), &status) == 0;
  if (versions.installed) versions.installedVersion = versionOf(paths, paths.installed);
  if (auto current = reportIfCurrent(format, paths, versions)) return *current;
  // Root's own group back as the effective one: what helperinstall starts (launchctl, and through
  // it launchd's side of the helper's job and the helper itself) would otherwise run in the group
  // that tarnelctl is set-group-id to, and make its files in it.
  if (::setresgid(::getgid(), ::getgid(), ::getgid()) != 0) {
    return reportFailure(format, Failure{.what = "cannot leave tarnelctl's set-group-id group"});
  }
  // What helperinstall prints, output and errors alike, goes to standard error: its words are for
  // the person, and tarnelctl's standard output is its own.
  const auto waitStatus = linux_platform::runAndWait(
      paths.helperinstall, {paths.helperinstall, thisExecutable(), paths.carried},
      {.output = ChildStream::copyOf(STDERR_FILENO)});
  return reportInstall(format, paths, versions,
                       waitStatus ? linux_platform::exitStatusOf(*waitStatus) : std::nullopt);
}

}  // namespace tarnel::tarnelctl
