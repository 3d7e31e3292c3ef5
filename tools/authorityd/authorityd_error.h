// What keeps authorityd from starting: plain data, made into a text only where it is logged.
#pragma once

#include <string>

namespace tarnel::authorityd {

struct AuthoritydError {
  enum class Kind {
    unknownOption,            // `subject`: the option
    optionNeedsPath,          // `subject`: the option
    optionNeedsAbsolutePath,  // `subject`: the option
    cannotListen,             // `subject`: the platform's description of why
    cannotAskForSenders,      // with `systemError`
  };
  Kind kind;
  std::string subject;
  int systemError = 0;
};

// The line authorityd logs for `error`.
std::string describe(const AuthoritydError& error);

}  // namespace tarnel::authorityd
