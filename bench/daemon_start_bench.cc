// The daemon's start, from its exec to a socket that takes connections, and its resident memory
// once idle, against a minimal program that loads the same libraries and listens on a socket
// (bench/minimal_listener.cc). Both run as the platform starts the daemon without socket
// activation: binding /var/run/com.quorvant.TarnelX8Helper themselves.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/comparison_report.h"
#include "bench/support/isolated_program.h"
#include "model/helper_label.h"

namespace tarnel::bench {

namespace {

// How long a started program is left alone before its memory is read: long after any work that
// its start did.
constexpr auto kSettling = std::chrono::milliseconds(300);

IsolatedProgram::Options daemonOptions() {
  return {.program = TARNEL_BENCH_SIGNED_DAEMON, .anchorsFolder = TARNEL_BENCH_ANCHORS};
}

IsolatedProgram::Options minimalOptions() {
  return {.program = TARNEL_BENCH_MINIMAL_LISTENER,
          .arguments = {std::string("/var/run/") + helperLabel},
          .anchorsFolder = TARNEL_BENCH_ANCHORS};
}

void measureStart(benchmark::State& state, const IsolatedProgram::Options& options) {
  for (auto _ : state) {
    IsolatedProgram program(options);
    const auto started = program.start();
    const auto listening = program.waitUntilListening(helperLabel);
    state.SetIterationTime(std::chrono::duration<double>(listening - started).count());
  }
}

void measureIdleMemory(benchmark::State& state, const IsolatedProgram::Options& options) {
  double kilobytes = 0;
  for (auto _ : state) {
    IsolatedProgram program(options);
    const auto started = program.start();
    program.waitUntilBound(helperLabel);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    std::this_thread::sleep_for(kSettling);
    const auto resident = program.residentKilobytes();
    if (resident <= 0) {
      state.SkipWithError("cannot read the program's resident memory");
      return;
    }
    kilobytes += static_cast<double>(resident);
  }
  state.counters["resident_kB"] = benchmark::Counter(kilobytes, benchmark::Counter::kAvgIterations);
}

void BM_DaemonStart(benchmark::State& state) { measureStart(state, daemonOptions()); }
void BM_MinimalListenerStart(benchmark::State& state) { measureStart(state, minimalOptions()); }
void BM_DaemonIdleMemory(benchmark::State& state) { measureIdleMemory(state, daemonOptions()); }
void BM_MinimalListenerIdleMemory(benchmark::State& state) {
  measureIdleMemory(state, minimalOptions());
}

BENCHMARK(BM_DaemonStart)->UseManualTime()->Iterations(40)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MinimalListenerStart)->UseManualTime()->Iterations(40)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DaemonIdleMemory)->UseManualTime()->Iterations(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MinimalListenerIdleMemory)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMicrosecond);

const Comparison kComparisons[] = {
    {.title = "start to listening",
     .measurement = "BM_DaemonStart",
     .baseline = "BM_MinimalListenerStart",
     .ratio = 2},
    {.title = "idle resident memory",
     .measurement = "BM_DaemonIdleMemory",
     .baseline = "BM_MinimalListenerIdleMemory",
     .quantity = {.kind = Quantity::Kind::counter, .counter = "resident_kB", .unit = "kB"},
     .ratio = 1.5},
};

}  // namespace

}  // namespace tarnel::bench

int main(int argc, char** argv) {
  return tarnel::bench::runComparisons(argc, argv, tarnel::bench::kComparisons);
}
