#include "tools/authorityd/server_settings.h"

#include <algorithm>
#include <string_view>

namespace tarnel::authorityd {

namespace {

struct Option {
  std::string_view name;
  std::string ServerSettings::*setting;
};

constexpr Option kOptions[] = {
    {"--socket", &ServerSettings::socketPath},
    {"--rules", &ServerSettings::rulesFolder},
    {"--pkcheck", &ServerSettings::pkcheckPath},
};

}  // namespace

std::expected<ServerSettings, std::string> parseCommandLine(std::span<char* const> arguments) {
  ServerSettings settings;
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    const std::string_view name = arguments[i];
    const auto option = std::ranges::find(kOptions, name, &Option::name);
    if (option == std::end(kOptions)) return std::unexpected("unknown option " + std::string(name));
    if (i + 1 == arguments.size()) return std::unexpected(std::string(name) + " needs a path");
    const std::string path = arguments[i + 1];
    // Relative paths would depend on where the server happened to be started.
    if (!path.starts_with('/'))
      return std::unexpected(std::string(name) + " needs an absolute path");
    settings.*(option->setting) = path;
  }
  return settings;
}

}  // namespace tarnel::authorityd
