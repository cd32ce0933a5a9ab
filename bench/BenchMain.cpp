// brindle_bench: the benchmarks of Brindle's data reads, directory reads, whole commands
// beside The Sleuth Kit's, and save memory.
//
//   brindle_bench --images=DIR [--output=DIR] [Google Benchmark flags]
//
// --images holds the images that scripts/bench.sh makes (fat32.img and recover-fat32.img, and
// the exFAT images where they could be made); saves and recoveries go to --output (the images
// folder by default). After the usual table it prints a summary: each figure's median and its spread
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
#include "bench/CommandBench.h"
#include "bench/EvidenceBench.h"
#include "bench/ReadBench.h"
#include "bench/SaveMemoryBench.h"
#include "bench/Verdict.h"

namespace {

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
  void Summarise(const std::string& name) {
    std::printf("%s\n", name.c_str());
    if (errors_.count(name)) {
      std::printf("  failed: %s\n", errors_[name].c_str());
      allMet_ = false;
      return;
    }
    bench::Figures figures;
    for (const Run& run : repetitions_[name]) {
      figures.times.push_back(run.GetAdjustedRealTime());
      for (const auto& [counter, value] : run.counters) figures.counters[counter].push_back(value.value);
    }
    const bench::Verdict verdict = bench::Judge(figures);
    std::printf("  %s\n  %s\n", verdict.text.c_str(), verdict.met ? "target met" : "TARGET MISSED");
    allMet_ = allMet_ && verdict.met;
  }

  std::vector<std::string> order_;
  std::map<std::string, std::vector<Run>> repetitions_;
  std::map<std::string, std::string> errors_;
  bool allMet_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Our own flags, --images=DIR and --output=DIR, are left over by Initialize.
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--images=", 9) == 0) bench::SetImagesFolder(argv[i] + 9);
    else if (std::strncmp(argv[i], "--output=", 9) == 0) bench::SetOutputFolder(argv[i] + 9);
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
  bench::RegisterCommandBenchmarks(withExfat);
  bench::RegisterEvidenceBenchmarks();
  bench::RegisterSaveMemoryBenchmarks(withExfat);

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.AllMet() ? 0 : 1;
}
