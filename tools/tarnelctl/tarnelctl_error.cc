#include "tools/tarnelctl/tarnelctl_error.h"

#include <array>
#include <cstddef>

namespace tarnel::tarnelctl {

namespace {

using Kind = TarnelctlError::Kind;

// Each kind's text, around its subject where it has one.
struct Text {
  Kind kind;
  const char* before;
  const char* after = "";
};

constexpr std::array kTexts{
    Text{Kind::unknownOption, "unknown option "},
    Text{Kind::optionAfterSubcommand, "", " takes no option but --format and --help"},
    Text{Kind::missingValue, "option ", " needs a value"},
    Text{Kind::badFormat, "--format takes readable, diagnostic or json"},
    Text{Kind::badPresentError, "--present-error takes true or false"},
    Text{Kind::badAuthData, "--auth-data takes hexadecimal bytes"},
    Text{Kind::noSubcommand, "no subcommand"},
    Text{Kind::unknownSubcommand, "unknown subcommand "},
    Text{Kind::sendNeedsRoot, "send passes a request unauthorized: only root may use it"},
    Text{Kind::installNeedsRoot,
         "install-helper places the helper where only root may write: run it as root"},
    Text{Kind::authDataNeedsRoot,
         "--auth-data shows an authorization to every user while tarnelctl runs: only root may use "
         "it"},
};

// One row per kind, in the kinds' order, so that a kind is its row's index.
constexpr bool everyKindInItsRow() {
  for (std::size_t i = 0; i < kTexts.size(); ++i) {
    if (static_cast<std::size_t>(kTexts[i].kind) != i) return false;
  }
  return kTexts.size() == static_cast<std::size_t>(Kind::authDataNeedsRoot) + 1;
}
static_assert(everyKindInItsRow());

}  // namespace

std::string describe(const TarnelctlError& error) {
  const auto& text = kTexts[static_cast<std::size_t>(error.kind)];
  return text.before + error.subject + text.after;
}

}  // namespace tarnel::tarnelctl
