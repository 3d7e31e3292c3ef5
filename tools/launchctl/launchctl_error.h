// Why launchctl refuses or fails: plain data, made into the line it prints (or the supervisor
// logs) only where the line leaves the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel::launchctl {

// What went wrong, below the refusal that names the job file, the job or the state folder.
struct LaunchctlReason {
  enum class Kind {
    systemCall,   // `detail`: what failed (a call or a path); `systemError`
    systemError,  // `systemError` alone
    worded,       // `detail`: worded by the platform or by the job's starting child
    notRegularFile,
    ownedByAnotherUser,
    writableByOthers,
    largerThan,   // `number`: the limit in bytes
    expandsPast,  // `number`: the limit in bytes
    notAbsolutePath,
    empty,
    holdsNul,
    badVariableName,  // `detail`: the name
    badServiceName,   // `detail`: the name
    badLabel,
    emptyProgramName,
    notADirectory,
    changeableByOthers,
    programNotFound,  // `detail`: the program
    supervisorReportTooLong,
    supervisorEndedEarly,
    supervisorReportDamaged,
  };
  Kind kind;
  std::string detail;
  int systemError = 0;
  std::int64_t number = 0;
};

// The failure of a system call: `what` and the error number.
LaunchctlReason systemCallFailed(std::string what, int error);

struct LaunchctlError {
  enum class Kind {
    cannotReadJobFile,    // `subject`: the job file; `reason`
    unsafeJobFile,        // `subject`: the job file; `reason`
    notAPropertyList,     // `subject`: the job file
    notAJobDictionary,    // `subject`: the job file
    missingKey,           // `subject`: the job file; `key`
    wrongKeyType,         // `subject`: the job file; `key`; `expected`: what it must be
    badKeyValue,          // `subject`: the job file; `key`; `reason`
    cannotStartJob,       // `subject`: the label; `reason`
    cannotListen,         // `subject`: the label; `reason`
    cannotStopJob,        // `subject`: the label; `reason`
    stateFolderUnusable,  // `subject`: the folder; `reason`
    stateFileDamaged,     // `subject`: the state file
  };
  Kind kind;
  std::string subject;
  std::string key = {};
  std::string_view expected = {};  // a fixed text of the reader's
  LaunchctlReason reason = {LaunchctlReason::Kind::worded};
};

std::string describe(const LaunchctlReason& reason);
// The line launchctl prints, or its supervisor logs.
std::string describe(const LaunchctlError& error);

}  // namespace tarnel::launchctl
