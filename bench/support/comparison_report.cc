#include "bench/support/comparison_report.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace tarnel::bench {

namespace {

// What one benchmark yielded: its runs, and the median that Google Benchmark computed over
// repetitions, if it did.
struct Results {
  std::vector<benchmark::BenchmarkReporter::Run> runs;
  std::optional<benchmark::BenchmarkReporter::Run> median;
};

// The console report, recording every run on the way by the benchmark's registered name.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  explicit RecordingReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const auto& run : reports) {
      if (run.error_occurred) failed_ = true;
      auto& results = results_[run.run_name.function_name];
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") results.median = run;
      } else if (!run.error_occurred) {
        results.runs.push_back(run);
      }
    }
    ConsoleReporter::ReportRuns(reports);
  }

  const std::map<std::string, Results>& results() const { return results_; }
  bool failed() const { return failed_; }

 private:
  std::map<std::string, Results> results_;
  bool failed_ = false;
};

std::optional<double> valueOf(const benchmark::BenchmarkReporter::Run& run,
                              const Quantity& quantity) {
  if (quantity.kind == Quantity::Kind::time) {
    return run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
  }
  const auto found = run.counters.find(quantity.counter);
  if (found == run.counters.end()) return std::nullopt;
  return found->second.value;
}

// The median over repetitions, or the value of the one run.
std::optional<double> representative(const Results& results, const Quantity& quantity) {
  if (results.median) return valueOf(*results.median, quantity);
  std::vector<double> values;
  for (const auto& run : results.runs) {
    if (const auto value = valueOf(run, quantity)) values.push_back(*value);
  }
  if (values.empty()) return std::nullopt;
  std::ranges::sort(values);
  const auto middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string shown(double value, const Quantity& quantity) {
  char text[64];
  if (quantity.kind == Quantity::Kind::counter) {
    std::snprintf(text, sizeof text, "%.0f %s", value, quantity.unit.c_str());
  } else if (value >= 1e6) {
    std::snprintf(text, sizeof text, "%.3f ms", value / 1e6);
  } else if (value >= 1e3) {
    std::snprintf(text, sizeof text, "%.2f us", value / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.1f ns", value);
  }
  return text;
}

std::string targetText(const Comparison& comparison) {
  char text[96];
  if (comparison.allowance == 0) {
    std::snprintf(text, sizeof text, "<= %gx", comparison.ratio);
  } else {
    std::snprintf(text, sizeof text, "<= %gx + %s", comparison.ratio,
                  shown(comparison.allowance, comparison.quantity).c_str());
  }
  return text;
}

void printComparisons(const std::map<std::string, Results>& results,
                      std::span<const Comparison> comparisons) {
  bool headerPrinted = false;
  for (const auto& comparison : comparisons) {
    const auto measured = results.find(comparison.measurement);
    const auto base = results.find(comparison.baseline);
    if (measured == results.end() || base == results.end()) continue;
    const auto value = representative(measured->second, comparison.quantity);
    const auto baseline = representative(base->second, comparison.quantity);
    if (!value || !baseline || *baseline <= 0) continue;
    if (!headerPrinted) {
      std::printf("\n%-44s %14s %14s %9s  %s\n", "measurement against its baseline", "measured",
                  "baseline", "ratio", "target");
      headerPrinted = true;
    }
    std::string verdict = "-";
    if (comparison.ratio > 0) {
      const bool met = *value <= comparison.ratio * *baseline + comparison.allowance;
      verdict = targetText(comparison) + (met ? ": met" : ": missed");
    }
    std::printf("%-44s %14s %14s %8.2fx  %s\n", comparison.title.c_str(),
                shown(*value, comparison.quantity).c_str(),
                shown(*baseline, comparison.quantity).c_str(), *value / *baseline, verdict.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int runComparisons(int argc, char** argv, std::span<const Comparison> comparisons) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
  RecordingReporter reporter(::isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                     : benchmark::ConsoleReporter::OO_None);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  printComparisons(reporter.results(), comparisons);
  return reporter.failed() ? 1 : 0;
}

}  // namespace tarnel::bench
