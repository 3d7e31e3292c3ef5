// runLaunchctl on the Linux platform, with a tool that exits at once (/bin/true stands in for
// launchctl), against posix_spawn and waitpid of /bin/true with the same arguments.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/support/comparison_report.h"
#include "operations/command_runner.h"
#include "platform/linux/linux_platform.h"

namespace tarnel::bench {

namespace {

constexpr const char* kTool = "/bin/true";
constexpr const char* kLabel = "com.example.nightly-backup";

void BM_RunLaunchctl(benchmark::State& state) {
  linux_platform::LinuxPlatform services;
  Platform platform = services.platform();
  for (auto _ : state) {
    if (!runLaunchctl(platform, kTool, LaunchctlVerb::remove, kLabel)) {
      state.SkipWithError("the tool did not run to success");
      return;
    }
  }
}
BENCHMARK(BM_RunLaunchctl)->UseRealTime();

// The baseline: the same program with the same arguments, started and awaited directly.
void BM_SpawnAndWait(benchmark::State& state) {
  std::vector<std::string> texts{kTool, "remove", kLabel};
  std::vector<char*> arguments;
  for (auto& text : texts) arguments.push_back(text.data());
  arguments.push_back(nullptr);
  for (auto _ : state) {
    pid_t child = 0;
    int status = 0;
    if (::posix_spawn(&child, kTool, nullptr, nullptr, arguments.data(), environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the tool did not run to success");
      return;
    }
  }
}
BENCHMARK(BM_SpawnAndWait)->UseRealTime();

const Comparison kComparisons[] = {
    {.title = "runLaunchctl",
     .measurement = "BM_RunLaunchctl",
     .baseline = "BM_SpawnAndWait",
     .ratio = 1.1},
};

}  // namespace

}  // namespace tarnel::bench

int main(int argc, char** argv) {
  return tarnel::bench::runComparisons(argc, argv, tarnel::bench::kComparisons);
}
