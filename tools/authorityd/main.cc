// authorityd: the authorization server. Clients create authorizations here and hand their
// external forms to the helper, which asks here whether they are granted its right.
#include <csignal>
#include <cstdio>
#include <span>

#include "tools/authorityd/server.h"
#include "tools/authorityd/server_log.h"
#include "tools/authorityd/server_settings.h"

int main(int argc, char** argv) {
  using namespace tarnel::authorityd;
  // A log that nobody reads any more must not end the server; sockets are written without
  // SIGPIPE anyway.
  std::signal(SIGPIPE, SIG_IGN);
  const auto settings = parseCommandLine(std::span(argv + 1, argc - 1));
  if (!settings) {
    logLine(describe(settings.error()));
    std::fprintf(stderr, "%s\n", kUsage);
    return 64;
  }
  auto server = Server::listen(*settings);
  if (!server) {
    logLine(describe(server.error()));
    return 1;
  }
  logLine("listening on " + settings->socketPath + " with the rules in " + settings->rulesFolder);
  (*server)->run();
}
