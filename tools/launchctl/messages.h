// Every text launchctl prints when it refuses or fails, in one place so that they read alike.
#pragma once

#include <string>
#include <string_view>

namespace tarnel::launchctl::messages {

std::string usage();

std::string cannotReadJobFile(std::string_view path, std::string_view reason);
std::string unsafeJobFile(std::string_view path, std::string_view reason);
std::string notAPropertyList(std::string_view path);
std::string notAJobDictionary(std::string_view path);
std::string missingKey(std::string_view path, std::string_view key);
std::string wrongKeyType(std::string_view path, std::string_view key, std::string_view expected);
std::string badKeyValue(std::string_view path, std::string_view key, std::string_view reason);

std::string alreadyLoaded(std::string_view label);
std::string notLoaded(std::string_view label);
std::string cannotStartJob(std::string_view label, std::string_view reason);
std::string cannotListen(std::string_view label, std::string_view reason);
std::string cannotStopJob(std::string_view label, std::string_view reason);

std::string stateFolderUnusable(std::string_view folder, std::string_view reason);
std::string stateFileDamaged(std::string_view file);

std::string notAStatusCode(std::string_view text);

// `text` in double quotes, with control characters, quotes and backslashes escaped, so that
// whatever a caller passed shows on one line.
std::string quoted(std::string_view text);

}  // namespace tarnel::launchctl::messages
