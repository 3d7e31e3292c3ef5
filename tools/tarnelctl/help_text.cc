#include "tools/tarnelctl/help_text.h"

#include <array>

namespace tarnel::tarnelctl {

namespace {

constexpr std::array<SubcommandHelp, 11> kSubcommands{{
    {"save --path PATH --label LABEL --string-file FILE",
     "Writes the job definition in FILE to PATH as root, loading nothing.",
     "tarnelctl save --path /Library/LaunchDaemons/com.example.hello.plist --label "
     "com.example.hello --string-file hello.plist"},
    {"saveLoad --path PATH --label LABEL --string-file FILE",
     "Writes the job definition as save does, then loads it into launchd.",
     "tarnelctl saveLoad --path /Library/LaunchDaemons/com.example.hello.plist --label "
     "com.example.hello --string-file hello.plist"},
    {"delete --delete-path PATH --label LABEL",
     "Takes the job LABEL out of launchd (unless LABEL is empty), then deletes PATH.",
     "tarnelctl delete --delete-path /Library/LaunchDaemons/com.example.hello.plist --label "
     "com.example.hello"},
    {"load --path PATH", "Loads the job defined at PATH into launchd.",
     "tarnelctl load --path /Library/LaunchDaemons/com.example.hello.plist"},
    {"remove --path PATH --label LABEL",
     "Unloads the job at PATH if that file exists and takes the job LABEL out of launchd; the "
     "file stays.",
     "tarnelctl remove --path /Library/LaunchDaemons/com.example.hello.plist --label "
     "com.example.hello"},
    {"test --test-path PATH --test-output-path OUTPUT --label LABEL --string-file FILE",
     "Writes the job definition in FILE to PATH, runs the job once and prints the helper's "
     "report on the run: what it wrote to OUTPUT, or why it failed.",
     "tarnelctl test --test-path /tmp/hello-test.plist --test-output-path /tmp/hello.out --label "
     "com.example.hello --string-file hello.plist"},
    {"uninstall",
     "Takes the helper's job out of launchd and removes every item named com.quorvant. from "
     "/Library/LaunchDaemons and /Library/PrivilegedHelperTools, the helper included; the helper "
     "then ends.",
     "tarnelctl uninstall"},
    {"terminate",
     "Takes the helper's job out of launchd and ends the helper; nothing starts it again until "
     "its job is loaded.",
     "tarnelctl terminate"},
    {"endpoint", "Prints the socket address of the helper's listener endpoint.",
     "tarnelctl endpoint"},
    {"send",
     "Sends the one CBOR item on standard input as the request, byte for byte and unauthorized "
     "(root only).",
     "tarnelctl send < request.cbor"},
    {"install-helper",
     "Installs the helper that the package carries, with helperinstall and an administrator's "
     "authorization, when none is installed or the installed one is older (root only).",
     "tarnelctl install-helper"},
}};

constexpr std::string_view kUsage =
    "usage: tarnelctl [--format readable|diagnostic|json] SUBCOMMAND [OPTION...]\n"
    "       tarnelctl --help\n";

constexpr std::string_view kAfterSubcommands =
    "Options of the requests (save to terminate):\n"
    "  --privileged             obtain the right com.quorvant.TarnelX8 first and send its\n"
    "                           authorization (always so when run by any user but root)\n"
    "  --present-error true|false\n"
    "                           the request's presentError (true unless given)\n"
    "  --auth-data HEX          send these bytes as the authorization (root only: every user\n"
    "                           sees a command line)\n"
    "\n"
    "Formats (--format, before the subcommand or among its options):\n"
    "  readable    a sentence: what was done, the test report as it is, or an error's\n"
    "              description and what to check (the default)\n"
    "  diagnostic  the reply in CBOR diagnostic notation on one line, for scripts\n"
    "  json        one JSON object on one line\n"
    "\n"
    "Exit status:\n"
    "  0  done; with --format diagnostic, a reply came, whatever it said\n"
    "  1  something failed here: the authorization, a file, a reply that does not read, the\n"
    "     helper's install\n"
    "  2  the command line is wrong, or asks for what only root may do\n"
    "  3  the connection ended without a reply (with --format diagnostic, also after terminate\n"
    "     and uninstall, which end the helper before it could answer)\n"
    "  4  the connection was refused or invalidated, or nothing serves the helper's socket\n"
    "  5  the helper answered with an error (not with --format diagnostic)\n"
    "\n"
    "Run by any user but root, every request is privileged: tarnelctl first obtains the right,\n"
    "which asks for an administrator's approval, since the helper does as root what its signed\n"
    "clients ask. send, install-helper and --auth-data are root's alone. man tarnelctl says "
    "more.\n";

// `text` in lines of at most kWidth columns, each after `indent`.
constexpr std::size_t kWidth = 92;

std::string wrapped(std::string_view text, std::string_view indent) {
  std::string out;
  std::size_t column = 0;
  while (!text.empty()) {
    const auto space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    if (column > 0 && column + 1 + word.size() > kWidth) {
      out += '\n';
      column = 0;
    }
    if (column == 0) {
      out += indent;
      column = indent.size();
    } else {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  }
  return out + "\n";
}

}  // namespace

std::span<const SubcommandHelp> subcommandHelp() { return kSubcommands; }

std::string_view usageLines() { return kUsage; }

std::string helpText() {
  std::string text(kUsage);
  text += "\nSubcommands:\n";
  for (const auto& subcommand : kSubcommands) {
    text += "  ";
    text += subcommand.synopsis;
    text += "\n";
    text += wrapped(subcommand.summary, "      ");
    text += "      e.g. ";
    text += subcommand.example;
    text += "\n";
  }
  text += "\n";
  text += kAfterSubcommands;
  return text;
}

}  // namespace tarnel::tarnelctl
