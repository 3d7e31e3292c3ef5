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

std::expected<ServerSettings, AuthoritydError> parseCommandLine(std::span<char* const> arguments) {
  ServerSettings settings;
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    const std::string_view name = arguments[i];
    const auto option = std::ranges::find(kOptions, name, &Option::name);
    const auto refused = [&](AuthoritydError::Kind kind) {
      return std::unexpected(AuthoritydError{kind, std::string(name)});
    };
    if (option == std::end(kOptions)) return refused(AuthoritydError::Kind::unknownOption);
    if (i + 1 == arguments.size()) return refused(AuthoritydError::Kind::optionNeedsPath);
    const std::string path = arguments[i + 1];
    // Relative paths would depend on where the server happened to be started.
    if (!path.starts_with('/')) return refused(AuthoritydError::Kind::optionNeedsAbsolutePath);
    settings.*(option->setting) = path;
  }
  return settings;
}

}  // namespace tarnel::authorityd
