// What the editor does when its helper is missing or older than the one it carries: the
// platform's helper install (helperinstall, which asks an administrator's authorization), with
// tarnelctl itself as the application. An installed helper of that version or newer is left as
// it is.
#pragma once

#include <optional>
#include <string>

#include "tools/tarnelctl/command_line.h"
#include "tools/tarnelctl/report.h"

namespace tarnel::tarnelctl {

struct HelperInstallPaths {
  std::string carried = "/usr/lib/tarnelx8-helper/com.quorvant.TarnelX8Helper";
  std::string installed = "/Library/PrivilegedHelperTools/com.quorvant.TarnelX8Helper";
  std::string codesign = "/usr/bin/codesign";
  std::string helperinstall = "/usr/sbin/helperinstall";
};

// What is known before anything is installed: the carried helper's version, and the installed
// one's (nothing when none is installed, or its version cannot be read).
struct HelperVersions {
  std::string carried;
  bool installed = false;
  std::optional<std::string> installedVersion;
};

// The report when the installed helper is as new as the carried one or newer; nothing when the
// carried one is to be installed.
std::optional<Report> reportIfCurrent(Format format, const HelperInstallPaths& paths,
                                      const HelperVersions& versions);

// The report of helperinstall's run: `exitStatus` nothing when it could not run or did not exit.
Report reportInstall(Format format, const HelperInstallPaths& paths, const HelperVersions& versions,
                     std::optional<int> exitStatus);

// Reads both versions, and installs the carried helper unless the installed one is current.
Report installHelper(Format format, const HelperInstallPaths& paths = {});

}  // namespace tarnel::tarnelctl
