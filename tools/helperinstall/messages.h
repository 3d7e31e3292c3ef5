// Every text helperinstall prints, in one place so that they read alike.
#pragma once

#include <string>
#include <string_view>

namespace tarnel::helperinstall::messages {

std::string usage();

std::string notAuthorized(std::string_view right, std::string_view reason);
std::string refusedHelper(std::string_view path, std::string_view reason);
std::string refusedApplication(std::string_view path, std::string_view reason);
std::string cannotInstall(std::string_view reason);
// What became of the helper installed before, said after a failure to install another.
std::string previousRestored(bool loaded);
std::string previousNotLoaded(std::string_view job);
std::string previousNotRestored(std::string_view reason);
std::string nothingInstalledBefore();
std::string installed(std::string_view label, std::string_view helper, std::string_view job);

}  // namespace tarnel::helperinstall::messages
