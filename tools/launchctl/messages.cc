#include "tools/launchctl/messages.h"

#include <cstdio>

#include "platform/linux/posix/message_text.h"

namespace tarnel::launchctl::messages {

using linux_platform::join;

std::string usage() {
  return "usage: launchctl load [-w] PATH\n"
         "       launchctl unload [-w] PATH\n"
         "       launchctl remove LABEL\n"
         "       launchctl list\n"
         "       launchctl error CODE";
}

std::string cannotReadJobFile(std::string_view path, std::string_view reason) {
  return join({"Could not read job file ", path, ": ", reason});
}

std::string unsafeJobFile(std::string_view path, std::string_view reason) {
  return join({"Refusing job file ", path, ": ", reason});
}

std::string notAPropertyList(std::string_view path) {
  return join({"Not a property list: ", path});
}

std::string notAJobDictionary(std::string_view path) {
  return join({"Not a job definition (its top level is not a dictionary): ", path});
}

std::string missingKey(std::string_view path, std::string_view key) {
  return join({"No ", key, " in job file ", path});
}

std::string wrongKeyType(std::string_view path, std::string_view key, std::string_view expected) {
  return join({key, " in job file ", path, " must be ", expected});
}

std::string badKeyValue(std::string_view path, std::string_view key, std::string_view reason) {
  return join({key, " in job file ", path, ": ", reason});
}

std::string alreadyLoaded(std::string_view label) { return join({"Job already loaded: ", label}); }

std::string notLoaded(std::string_view label) { return join({"No job loaded with label ", label}); }

std::string cannotStartJob(std::string_view label, std::string_view reason) {
  return join({"Could not start job ", label, ": ", reason});
}

std::string cannotListen(std::string_view label, std::string_view reason) {
  return join({"Could not listen for the services of job ", label, ": ", reason});
}

std::string cannotStopJob(std::string_view label, std::string_view reason) {
  return join({"Could not stop job ", label, ": ", reason});
}

std::string stateFolderUnusable(std::string_view folder, std::string_view reason) {
  return join({"Could not use the state folder ", folder, ": ", reason});
}

std::string stateFileDamaged(std::string_view file) {
  return join({"The state file ", file, " is damaged"});
}

std::string notAStatusCode(std::string_view text) {
  return join({"Not a status code: ", quoted(text)});
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace tarnel::launchctl::messages
