#include "tools/tarnelctl/command_line.h"

#include <array>
#include <string_view>
#include <utility>

namespace tarnel::tarnelctl {

namespace {

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

std::expected<RequestOptions, std::string> parseOptions(const std::vector<std::string>& arguments) {
  RequestOptions options;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view option = arguments[i];
    if (option == "--privileged") {
      options.privileged = true;
      continue;
    }
    if (i + 1 >= arguments.size())
      return std::unexpected("option " + arguments[i] + " needs a value");
    const std::string& value = arguments[++i];
    if (option == "--present-error") {
      if (value != "true" && value != "false")
        return std::unexpected("--present-error takes true or false");
      options.presentError = value == "true";
    } else if (option == "--auth-data") {
      options.authData = parseHex(value);
      if (!options.authData) return std::unexpected("--auth-data takes hexadecimal bytes");
    } else {
      bool known = false;
      for (const auto& [name, field] : kTextOptions) {
        if (option == name) {
          options.*field = value;
          known = true;
        }
      }
      if (!known) return std::unexpected("unknown option " + arguments[i - 1]);
    }
  }
  return options;
}

}  // namespace

const char* const usage =
    "usage: tarnelctl save|saveLoad|delete|load|remove|test|uninstall|terminate [OPTION...]\n"
    "       tarnelctl send      (the request is the one CBOR item on standard input; root only)\n"
    "       tarnelctl endpoint\n"
    "options: --path P --label L --delete-path P --test-path P --test-output-path P\n"
    "         --string-file FILE --present-error true|false --privileged --auth-data HEX\n"
    "Run by any user but root, every request is privileged: tarnelctl first obtains the right,\n"
    "which asks for an administrator's approval, since the helper does as root what its signed\n"
    "clients ask. send (any request, unauthorized) and --auth-data (visible to every user while\n"
    "tarnelctl runs) are root's alone.\n";

std::expected<Command, std::string> parseCommandLine(const std::vector<std::string>& arguments,
                                                     Caller caller) {
  if (arguments.empty()) return std::unexpected("no subcommand");
  const std::string_view subcommand = arguments.front();
  if (subcommand == "send" || subcommand == "endpoint") {
    if (arguments.size() > 1) return std::unexpected(arguments.front() + " takes no options");
    if (subcommand == "send" && caller != Caller::root) {
      return std::unexpected("send passes a request unauthorized: only root may use it");
    }
    return Command{.verb = subcommand == "send" ? Command::Verb::send : Command::Verb::endpoint};
  }
  for (const auto& [name, kind] : kKindSubcommands) {
    if (subcommand != name) continue;
    auto options = parseOptions(arguments);
    if (!options) return std::unexpected(options.error());
    if (caller != Caller::root) {
      if (options->authData) {
        return std::unexpected(
            "--auth-data shows an authorization to every user while tarnelctl runs: only root may "
            "use it");
      }
      options->privileged = true;
    }
    return Command{.verb = Command::Verb::request, .kind = kind, .options = std::move(*options)};
  }
  return std::unexpected("unknown subcommand " + arguments.front());
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
