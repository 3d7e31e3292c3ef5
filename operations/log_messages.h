// The system log lines of the job and file operations, as the people who read the log know them.
#pragma once

#include <string>
#include <string_view>

namespace tarnel {

inline constexpr std::string_view couldNotUnloadPath = "Tarnel X: Could not unload path: %@";
inline constexpr std::string_view couldNotWriteToFile = "Tarnel X: Could not write to file: %@";
inline constexpr std::string_view couldNotDeleteFile = "Tarnel X: Could not delete file: %@";
inline constexpr std::string_view cantSetOwnerToRootWheel = "Can't set user/group to root:wheel";

// `message` with `path` in place of its "%@".
inline std::string withPath(std::string_view message, std::string_view path) {
  std::string line(message);
  if (const auto at = line.find("%@"); at != std::string::npos) line.replace(at, 2, path);
  return line;
}

}  // namespace tarnel
