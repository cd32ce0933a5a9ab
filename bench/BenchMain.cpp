// brindle_bench: the benchmarks of Brindle's data reads, directory reads and save memory.
//
//   brindle_bench --images=DIR [Google Benchmark flags]
//
// DIR holds the images that scripts/bench.sh makes (fat32.img, and exfat.img where it could
// be made). After the usual table it prints a summary: each figure's median and its spread
// over the repetitions, the load the rest of the machine put on it, and whether the target is
// met.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchLayout.h"
#include "bench/BenchSupport.h"
#include "bench/ReadBench.h"
#include "bench/SaveMemoryBench.h"

namespace {

struct Spread {
  double median = 0;
  double min = 0;
  double max = 0;
};

Spread SpreadOf(std::vector<double> values) {
  Spread spread;
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  spread.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  spread.min = values.front();
  spread.max = values.back();
  return spread;
}

// The console table as usual, and the repetitions of every benchmark kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : benchmark::ConsoleReporter(static_cast<OutputOptions>(OO_Defaults | OO_Tabular)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    benchmark::ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string& name = run.run_name.function_name;
      if (std::find(order_.begin(), order_.end(), name) == order_.end()) order_.push_back(name);
      if (run.error_occurred) {
        errors_[name] = run.error_message;
        continue;
      }
      repetitions_[name].push_back(run);
    }
  }

  void Finalize() override {
    benchmark::ConsoleReporter::Finalize();
    std::printf("\nSummary: median [min .. max] over the repetitions; other_cores is the load the rest of\n"
                "the machine put on it (cores busy with other processes, of %ld).\n\n",
                ::sysconf(_SC_NPROCESSORS_ONLN));
    for (const std::string& name : order_) Summarise(name);
    std::printf("\n%s\n", allMet_ ? "Every target is met." : "NOT every target is met.");
  }

  bool AllMet() const { return allMet_; }

 private:
  Spread Counter(const std::vector<Run>& runs, const char* counter) const {
    std::vector<double> values;
    for (const Run& run : runs) {
      const auto found = run.counters.find(counter);
      if (found != run.counters.end()) values.push_back(found->second.value);
    }
    return SpreadOf(values);
  }

  Spread Time(const std::vector<Run>& runs) const {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(run.GetAdjustedRealTime());
    return SpreadOf(values);
  }

  void Verdict(bool met) {
    std::printf("  %s\n", met ? "target met" : "TARGET MISSED");
    allMet_ = allMet_ && met;
  }

  void Summarise(const std::string& name) {
    std::printf("%s\n", name.c_str());
    if (errors_.count(name)) {
      std::printf("  failed: %s\n", errors_[name].c_str());
      allMet_ = false;
      return;
    }
    const std::vector<Run>& runs = repetitions_[name];
    const Spread load = Counter(runs, "other_cores");
    if (runs.front().counters.count("ratio")) {
      const Spread rate = Counter(runs, "MB/s");
      const Spread plain = Counter(runs, "pread_MB/s");
      const Spread warm = Counter(runs, "warm_pread_MB/s");
      const Spread ratio = Counter(runs, "ratio");
      std::printf("  GetData %.0f MB/s [%.0f .. %.0f]; plain pread into fresh memory %.0f MB/s [%.0f .. %.0f],\n"
                  "  into memory used before %.0f MB/s [%.0f .. %.0f]\n",
                  rate.median, rate.min, rate.max, plain.median, plain.min, plain.max, warm.median, warm.min, warm.max);
      std::printf("  ratio to pread %.2f [%.2f .. %.2f] (target: 0.5 or more); other_cores %.2f [%.2f .. %.2f]\n",
                  ratio.median, ratio.min, ratio.max, load.median, load.min, load.max);
      Verdict(ratio.median >= 0.5);
    } else if (runs.front().counters.count("entries")) {
      const Spread time = Time(runs);
      std::printf("  %.1f ms [%.1f .. %.1f] per read of %.0f entries (target: under 50 ms); other_cores %.2f [%.2f .. %.2f]\n",
                  time.median, time.min, time.max, Counter(runs, "entries").median, load.median, load.min, load.max);
      Verdict(time.median < 50);
    } else if (runs.front().counters.count("limit_MiB")) {
      const Spread above = Counter(runs, "above_idle_MiB");
      const Spread idle = Counter(runs, "idle_MiB");
      const Spread peak = Counter(runs, "peak_MiB");
      const double limit = Counter(runs, "limit_MiB").max;
      std::printf("  peak %.1f MiB [%.1f .. %.1f], idle %.1f MiB [%.1f .. %.1f], above idle %.1f MiB [%.1f .. %.1f]\n",
                  peak.median, peak.min, peak.max, idle.median, idle.min, idle.max, above.median, above.min, above.max);
      std::printf("  limit %.0f MiB (the file's size + 64 MiB), judged on the largest; measuring helper %.1f MiB\n", limit,
                  Counter(runs, "helper_MiB").max);
      Verdict(above.max <= limit);
    }
  }

  std::vector<std::string> order_;
  std::map<std::string, std::vector<Run>> repetitions_;
  std::map<std::string, std::string> errors_;
  bool allMet_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Our own flag, --images=DIR, is left over by Initialize.
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--images=", 9) == 0) bench::SetImagesFolder(argv[i] + 9);
    else rest.push_back(argv[i]);
  }
  int restCount = static_cast<int>(rest.size());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 2;

  if (::access(bench::ImagePath(bench::kFat32Image).c_str(), R_OK) != 0) {
    std::fprintf(stderr, "brindle_bench: %s is missing; scripts/bench.sh makes the images\n",
                 bench::ImagePath(bench::kFat32Image).c_str());
    return 2;
  }
  const bool withExfat = ::access(bench::ImagePath(bench::kExfatImage).c_str(), R_OK) == 0;
  if (!withExfat) std::fprintf(stderr, "brindle_bench: no exfat.img, so the exFAT benchmarks are left out\n");
  bench::RegisterReadBenchmarks(withExfat);
  bench::RegisterSaveMemoryBenchmarks(withExfat);

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.AllMet() ? 0 : 1;
}
