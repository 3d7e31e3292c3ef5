// Every benchmark program judges a measurement against a baseline measured in the same run: after
// the usual report it prints one line per comparison with both medians, their ratio and the
// target that docs/performance.md records.
#pragma once

#include <span>
#include <string>

namespace tarnel::bench {

// What a comparison compares: the real time of an iteration, or a counter that the benchmark sets.
struct Quantity {
  enum class Kind { time, counter };
  Kind kind = Kind::time;
  std::string counter;  // the counter's name, for Kind::counter
  std::string unit;     // how the counter's value is printed, for Kind::counter
};

struct Comparison {
  std::string title;
  std::string measurement;  // the benchmark's registered name
  std::string baseline;
  Quantity quantity;
  // The target: the measurement is at most `ratio` times the baseline, plus `allowance` (in
  // nanoseconds for a time, in the counter's unit otherwise). A ratio of 0 sets none: the line
  // only shows where time goes.
  double ratio = 0;
  double allowance = 0;
};

// Runs the benchmarks that the command line selects (Google Benchmark's own flags), reports them
// on standard output as Google Benchmark does, then prints the comparisons whose two benchmarks
// both ran. With repetitions each side is its median; without, its one run. The exit status is 0
// unless a benchmark failed: a missed target is reported, not treated as a failure.
int runComparisons(int argc, char** argv, std::span<const Comparison> comparisons);

}  // namespace tarnel::bench
