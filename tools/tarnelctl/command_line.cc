#include "tools/tarnelctl/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace tarnel::tarnelctl {

namespace {

using ErrorKind = TarnelctlError::Kind;

// The subcommands that send a request, one per kind, in the kinds' order.
constexpr std::array<std::pair<std::string_view, Action::Kind>, 8> kKindSubcommands{{
    {"save", Action::Kind::save},
    {"saveLoad", Action::Kind::saveLoad},
    {"delete", Action::Kind::delete_},
    {"load", Action::Kind::load},
    {"remove", Action::Kind::remove},
    {"test", Action::Kind::test},
    {"uninstall", Action::Kind::uninstall},
    {"terminate", Action::Kind::terminate},
}};

// The options that take a text and the field each fills.
constexpr std::array<std::pair<std::string_view, std::optional<std::string> RequestOptions::*>, 6>
    kTextOptions{{
        {"--path", &RequestOptions::path},
        {"--label", &RequestOptions::label},
        {"--delete-path", &RequestOptions::deletePath},
        {"--test-path", &RequestOptions::testPath},
        {"--test-output-path", &RequestOptions::testOutputPath},
        {"--string-file", &RequestOptions::stringFile},
    }};

std::optional<Bytes> parseHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (const char c : hex.substr(i, 2)) {
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= c - '0';
      } else if (c >= 'a' && c <= 'f') {
        value |= c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        value |= c - 'A' + 10;
      } else {
        return std::nullopt;
      }
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

std::optional<Format> parseFormat(std::string_view name) {
  if (name == "readable") return Format::readable;
  if (name == "diagnostic") return Format::diagnostic;
  if (name == "json") return Format::json;
  return std::nullopt;
}

// Reads the options `arguments[first, last)` into `command`: --format and --help everywhere, the
// request options only when `requestOptions` (after a subcommand that sends a request).
std::expected<void, TarnelctlError> parseOptions(const std::vector<std::string>& arguments,
                                                 std::size_t first, std::size_t last,
                                                 bool requestOptions, Command& command) {
  RequestOptions& options = command.options;
  for (std::size_t i = first; i < last; ++i) {
    const std::string_view option = arguments[i];
    if (option == "--help" || option == "-h") {
      command.verb = Command::Verb::help;
      continue;
    }
    if (requestOptions && option == "--privileged") {
      options.privileged = true;
      continue;
    }
    if (option != "--format" && !requestOptions) {
      return std::unexpected(
          first == 0 ? TarnelctlError{ErrorKind::unknownOption, arguments[i]}
                     : TarnelctlError{ErrorKind::optionAfterSubcommand, arguments[first - 1]});
    }
    if (i + 1 >= last) {
      return std::unexpected(TarnelctlError{ErrorKind::missingValue, arguments[i]});
    }
    const std::string& value = arguments[++i];
    if (option == "--format") {
      const auto format = parseFormat(value);
      if (!format) return std::unexpected(TarnelctlError{ErrorKind::badFormat});
      command.format = *format;
    } else if (option == "--present-error") {
      if (value != "true" && value != "false")
        return std::unexpected(TarnelctlError{ErrorKind::badPresentError});
      options.presentError = value == "true";
    } else if (option == "--auth-data") {
      options.authData = parseHex(value);
      if (!options.authData) return std::unexpected(TarnelctlError{ErrorKind::badAuthData});
    } else {
      bool known = false;
      for (const auto& [name, field] : kTextOptions) {
        if (option == name) {
          options.*field = value;
          known = true;
        }
      }
      if (!known) {
        return std::unexpected(TarnelctlError{ErrorKind::unknownOption, arguments[i - 1]});
      }
    }
  }
  return {};
}

}  // namespace

std::expected<Command, TarnelctlError> parseCommandLine(const std::vector<std::string>& arguments,
                                                        Caller caller) {
  // The options before the subcommand: --format and --help alone.
  std::size_t first = 0;
  while (first < arguments.size() && arguments[first].starts_with("-")) {
    first = std::min(first + (arguments[first] == "--format" ? 2 : 1), arguments.size());
  }
  Command command;
  if (auto global = parseOptions(arguments, 0, first, false, command); !global) {
    return std::unexpected(global.error());
  }
  if (command.verb == Command::Verb::help) return command;
  if (first >= arguments.size()) return std::unexpected(TarnelctlError{ErrorKind::noSubcommand});
  const std::string_view subcommand = arguments[first];
  const auto kind = std::ranges::find(kKindSubcommands, subcommand,
                                      &std::pair<std::string_view, Action::Kind>::first);
  if (kind != kKindSubcommands.end()) {
    command.kind = kind->second;
  } else if (subcommand == "send") {
    command.verb = Command::Verb::send;
  } else if (subcommand == "endpoint") {
    command.verb = Command::Verb::endpoint;
  } else if (subcommand == "install-helper") {
    command.verb = Command::Verb::installHelper;
  } else {
    return std::unexpected(TarnelctlError{ErrorKind::unknownSubcommand, arguments[first]});
  }
  const bool sendsRequest = command.verb == Command::Verb::request;
  if (auto parsed = parseOptions(arguments, first + 1, arguments.size(), sendsRequest, command);
      !parsed) {
    return std::unexpected(parsed.error());
  }
  if (command.verb == Command::Verb::help || caller == Caller::root) return command;
  switch (command.verb) {
    case Command::Verb::send:
      return std::unexpected(TarnelctlError{ErrorKind::sendNeedsRoot});
    case Command::Verb::installHelper:
      return std::unexpected(TarnelctlError{ErrorKind::installNeedsRoot});
    case Command::Verb::request:
      if (command.options.authData) {
        return std::unexpected(TarnelctlError{ErrorKind::authDataNeedsRoot});
      }
      command.options.privileged = true;
      break;
    default:
      break;
  }
  return command;
}

Dictionary buildRequest(Action::Kind kind, const RequestOptions& options,
                        const std::optional<std::string>& string,
                        const std::optional<Bytes>& authData) {
  Dictionary parameters{{"privileged", options.privileged}, {"presentError", options.presentError}};
  if (authData) parameters.append("authData", *authData);
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {
      {"path", &options.path},
      {"label", &options.label},
      {"deletePath", &options.deletePath},
      {"testPath", &options.testPath},
      {"testOutputPath", &options.testOutputPath},
      {"string", &string},
  };
  for (const auto& [key, text] : texts) {
    if (*text) parameters.append(key, **text);
  }
  return Dictionary{{rawValue(kind), std::move(parameters)}};
}

}  // namespace tarnel::tarnelctl
